// Undoing a change of the history: which change an undo names, and whether
// its values may be written back. The writing itself is a guarded change
// (guarded_change.h) like any other.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/history.h"
#include "change/guarded_change.h"

namespace qlr {

// The number an undo's operands name: the first, or the newest change's
// when there is none; nothing for an operand that is no number from 1 up.
std::optional<int> UndoneNumber(const std::vector<std::string>& operands, const History& history);

// The change numbered `number`, or null when the history holds none.
const Change* FindChange(const History& history, int number);

struct UndoPlan {
  enum class Refusal {
    None,
    NoSuchChange,   // the history holds no change of that number
    InProgress,     // another process is still making it
    WroteNothing,   // it failed before its first write: there is nothing to undo
    BackupRefused,  // the backup file disagrees with the history's copy, or cannot be checked against it
  };

  Refusal refusal = Refusal::None;
  ChangeRequest request{};         // what to write, when not refused
  bool backupDeleted = false;      // the backup file is gone: the history's copy is written
  std::filesystem::path backup{};  // the backup file of the change undone
  // What is wrong with the backup file, for BackupRefused.
  BackupState backupState = BackupState::Kept;
};

// Whether change `number` of `history`, kept in `folder`, can be undone,
// and the change that undoes it.
UndoPlan PlanUndo(const History& history, const std::filesystem::path& folder, int number);

}  // namespace qlr
