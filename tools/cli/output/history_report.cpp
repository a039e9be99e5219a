#include "cli/output/history_report.h"

#include <cstdio>

#include "cli/output/messages.h"
#include "link/region_names.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

std::string Hex2(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

std::string ShownTime(std::string time) {
  if (time.size() > 10 && time[10] == 'T') time[10] = ' ';
  return time;
}

// "write /srv/a.bin", "medium", "undo of change 2".
std::string WhatWasDone(const Change& change, const History& history) {
  const ChangeRecord& record = change.record;
  if (record.command != "undo") return record.command + (record.argument.empty() ? "" : " " + record.argument);
  for (const Change& undone : history.changes) {
    if (undone.record.backupName == record.argument) return "undo of change " + std::to_string(undone.number);
  }
  return "undo of " + record.argument;
}

std::string OutcomeText(const Change& change, const std::optional<std::string>& backupDir) {
  switch (change.outcome) {
    case ChangeOutcome::Done: return "done";
    case ChangeOutcome::InProgress: return "in progress: another qlr5500 is making it";
    case ChangeOutcome::Cut:
      return "CUT SHORT: the EEPROM may be partly written; '" + UndoCommand(change.number, backupDir) +
             "' puts back the values from before it";
    case ChangeOutcome::Failed: break;
  }
  const Completion& failed = *change.completion;
  const std::string where = failed.failedAddress < 0 ? "" : " at address " + Hex2(failed.failedAddress);
  return "failed" + where + " after " + std::to_string(failed.written) + " of " +
         std::to_string(change.record.changed) + " bytes: " + failed.why;
}

const char* OutcomeWord(ChangeOutcome outcome) {
  switch (outcome) {
    case ChangeOutcome::Done: return "done";
    case ChangeOutcome::Failed: return "failed";
    case ChangeOutcome::InProgress: return "in-progress";
    case ChangeOutcome::Cut: break;
  }
  return "cut";
}

const char* BackupWord(BackupState state) {
  switch (state) {
    case BackupState::Kept: return "kept";
    case BackupState::Deleted: return "deleted";
    case BackupState::Altered: break;
  }
  return "altered";
}

}  // namespace

std::string UndoCommand(int number, const std::optional<std::string>& backupDir) {
  std::string command = "qlr5500 undo " + std::to_string(number);
  if (backupDir) command += " --backup-dir " + *backupDir;
  return command;
}

std::string FormatHistory(const History& history, const std::filesystem::path& folder,
                          const std::optional<std::string>& backupDir) {
  std::string text = "backups in " + Utf8OfPath(folder) + "\n";
  const std::size_t width = std::to_string(history.changes.size()).size();
  for (const Change& change : history.changes) {
    std::string number = std::to_string(change.number);
    number.insert(0, width - number.size(), ' ');
    const int changed = change.record.changed;
    text += number + "  " + ShownTime(change.record.time) + "  " + WhatWasDone(change, history) + " on " +
            change.record.device + ", " + std::string(RegionName(change.record.region)) + ": " +
            std::to_string(changed) + (changed == 1 ? " byte, " : " bytes, ") + OutcomeText(change, backupDir) + "\n";
    text += std::string(width + 2, ' ') + "backup " + change.record.backupName;
    if (change.backup == BackupState::Deleted) text += " (deleted: undo writes the history's copy)";
    if (change.backup == BackupState::Altered) text += " (altered since: undo refuses it)";
    text += "\n";
  }
  return text;
}

std::string FormatHistoryPorcelain(const History& history, const std::filesystem::path& folder) {
  std::string text;
  for (const Change& change : history.changes) {
    const ChangeRecord& r = change.record;
    const int failedAt = change.completion ? change.completion->failedAddress : -1;
    for (const std::string& field : {std::to_string(change.number), EscapedField(r.time), EscapedField(r.command),
                                     EscapedField(r.argument), EscapedField(r.device), std::to_string(r.region),
                                     std::to_string(r.changed), std::string(OutcomeWord(change.outcome)),
                                     std::to_string(failedAt), EscapedField(Utf8OfPath(folder / r.backupName))}) {
      text += field + "\t";
    }
    text += std::string(BackupWord(change.backup)) + "\n";
  }
  return text;
}

void ReportCutChanges(const std::vector<const Change*>& cut, const History& history,
                      const std::optional<std::string>& backupDir, const CliEnvironment& env) {
  for (const Change* change : cut) {
    Tell(env) << "change " << change->number << " (" << WhatWasDone(*change, history) << " on " << change->record.device
              << ", " << ShownTime(change->record.time) << ") was cut short: the EEPROM may be partly written; '"
              << UndoCommand(change->number, backupDir) << "' puts back the values from before it\n";
  }
}

}  // namespace qlr::cli
