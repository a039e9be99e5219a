// The history of changes as the log and the backup folder tell it: what
// `qlr5500 history` lists, what `undo` takes its images from, and the cut
// changes every command that talks to a receiver reports.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/history_record.h"

namespace qlr {

enum class ChangeOutcome {
  Done,        // written and verified
  Failed,      // the program saw it fail: Completion says where and why
  InProgress,  // no outcome yet, and another process still holds its lock
  Cut,         // no outcome, and nobody holds its lock: the program was killed or the power lost
};

enum class BackupState {
  Kept,     // the backup file holds the image the log holds
  Deleted,  // no backup file: the log's copy is all there is
  Altered,  // the file differs from the log's copy, or cannot be read
};

struct Change {
  int number = 0;  // 1 = the newest
  ChangeRecord record;
  std::optional<Completion> completion{};
  ChangeOutcome outcome = ChangeOutcome::Cut;
  BackupState backup = BackupState::Kept;
  // An undo found the EEPROM holding the values from before it already.
  bool settled = false;
  // A cut change nothing has settled since: no undo of it, no change of the
  // same device that was done.
  bool unsettled = false;
};

struct History {
  std::vector<Change> changes{};     // newest first
  std::vector<std::string> notes{};  // one per line skipped: "history.log line 7 is cut short: skipped"
};

// Reads the log of `folder` and looks at each backup file. Reads only: a
// missing log is an empty history. Lines that are no record of this
// version are skipped and named in `notes`.
History ReadHistory(const std::filesystem::path& folder);

}  // namespace qlr
