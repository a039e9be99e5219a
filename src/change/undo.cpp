#include "change/undo.h"

#include <limits>

#include "os/decimal.h"

namespace qlr {

std::optional<int> UndoneNumber(const std::vector<std::string>& operands, const History& history) {
  if (operands.empty()) return history.changes.empty() ? 1 : history.changes.front().number;
  return ParseDecimal(operands.front(), 1, std::numeric_limits<int>::max());
}

const Change* FindChange(const History& history, int number) {
  for (const Change& change : history.changes) {
    if (change.number == number) return &change;
  }
  return nullptr;
}

UndoPlan PlanUndo(const History& history, const std::filesystem::path& folder, int number) {
  UndoPlan plan;
  const Change* change = FindChange(history, number);
  if (change == nullptr) {
    plan.refusal = UndoPlan::Refusal::NoSuchChange;
    return plan;
  }
  plan.backup = folder / change->record.backupName;
  if (change->outcome == ChangeOutcome::InProgress) {
    plan.refusal = UndoPlan::Refusal::InProgress;
  } else if (change->wroteNothing) {
    plan.refusal = UndoPlan::Refusal::WroteNothing;
  } else if (change->backup != BackupState::Kept && change->backup != BackupState::Deleted) {
    plan.refusal = UndoPlan::Refusal::BackupRefused;
  }
  plan.backupState = change->backup;
  plan.backupDeleted = change->backup == BackupState::Deleted;
  plan.request = {.image = change->record.before,
                  .what = "the values from before change " + std::to_string(number),
                  .command = "undo",
                  .argument = change->record.backupName,
                  .region = change->record.region,
                  .device = change->record.device,
                  .undoneNumber = number};
  return plan;
}

}  // namespace qlr
