#include "cli/output/history_report.h"

#include <cstdio>
#include <map>

#include "cli/output/backup_state_text.h"
#include "cli/output/messages.h"
#include "cli/output/shell_words.h"
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

// "write /srv/a.bin", "medium", "undo of change 2", shown as it may be printed.
std::string WhatWasDone(const Change& change, const History& history) {
  const ChangeRecord& record = change.record;
  if (record.command != "undo") {
    return Printable(record.command + (record.argument.empty() ? "" : " " + record.argument));
  }
  for (const Change& undone : history.changes) {
    if (undone.record.backupName == record.argument) return "undo of change " + std::to_string(undone.number);
  }
  return "undo of " + Printable(record.argument);
}

// The undo that brings back the last whole values of an unsettled change's receiver.
std::string Advice(int number, int undo, const std::optional<std::string>& backupDir) {
  const std::string command = "'" + UndoCommand(undo, backupDir) + "' puts back the values from before ";
  return command + (undo == number ? "it" : "change " + std::to_string(undo) + ", the last its receiver held whole");
}

// What is known of a change that may have left the EEPROM partly written.
std::string Aftermath(const Change& change, int undo, const std::optional<std::string>& backupDir) {
  if (change.unsettled) return "the EEPROM may be partly written; " + Advice(change.number, undo, backupDir);
  return "settled since: its receiver was found holding whole values again";
}

std::string OutcomeText(const Change& change, int undo, const std::optional<std::string>& backupDir) {
  std::string text;
  switch (change.outcome) {
    case ChangeOutcome::Done: text = "done"; break;
    case ChangeOutcome::InProgress: return "in progress: another qlr5500 is making it";
    case ChangeOutcome::Cut:
      text = change.unsettled ? "CUT SHORT: " + Aftermath(change, undo, backupDir)
                              : "cut short, " + Aftermath(change, undo, backupDir);
      break;
    case ChangeOutcome::Failed: {
      const Completion& failed = *change.completion;
      const std::string where = failed.failedAddress < 0 ? "" : " at address " + Hex2(failed.failedAddress);
      text = "failed" + where + " after " + std::to_string(failed.written) + " of " +
             std::to_string(change.record.changed) + " bytes: " + Printable(failed.why);
      if (change.partial) text += "; " + Aftermath(change, undo, backupDir);
      break;
    }
  }
  if (change.undoneBy != 0) text += "; undone by change " + std::to_string(change.undoneBy);
  return text;
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

const char* SettlementWord(const Change& change) {
  if (!change.partial) return "-";
  return change.unsettled ? "unsettled" : "settled";
}

// The advised undo of each unsettled change, by its number.
std::map<int, int> AdvisedUndos(const History& history) {
  std::map<int, int> undos;
  for (const UnsettledChange& unsettled : UnsettledChanges(history)) undos[unsettled.change.number] = unsettled.undo;
  return undos;
}

}  // namespace

std::string UndoCommand(int number, const std::optional<std::string>& backupDir) {
  std::string command = "qlr5500 undo " + std::to_string(number);
  if (backupDir) command += " --backup-dir " + ShellQuoted(*backupDir);
  return command;
}

std::string FormatHistory(const History& history, const std::filesystem::path& folder,
                          const std::optional<std::string>& backupDir) {
  std::string text = "backups in " + Printable(Utf8OfPath(folder)) + "\n";
  const std::map<int, int> undos = AdvisedUndos(history);
  const std::size_t width = history.changes.empty() ? 1 : std::to_string(history.changes.front().number).size();
  for (const Change& change : history.changes) {
    std::string number = std::to_string(change.number);
    number.insert(0, width - number.size(), ' ');
    const int changed = change.record.changed;
    const auto undo = undos.find(change.number);
    text += number + "  " + Printable(ShownTime(change.record.time)) + "  " + WhatWasDone(change, history) + " on " +
            Printable(change.record.device) + ", " + std::string(RegionName(change.record.region)) + ": " +
            std::to_string(changed) + (changed == 1 ? " byte, " : " bytes, ") +
            OutcomeText(change, undo == undos.end() ? 0 : undo->second, backupDir) + "\n";
    text += std::string(width + 2, ' ') + "backup " + change.record.backupName +
            BackupStateNote(change.backup, folder / change.record.backupName) + "\n";
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
    text += std::string(BackupStateWord(change.backup)) + "\t" + SettlementWord(change) + "\t" +
            (change.undoneBy != 0 ? std::to_string(change.undoneBy) : "-") + "\n";
  }
  return text;
}

void ReportCutChanges(const std::vector<UnsettledChange>& unsettled, const History& history,
                      const std::optional<std::string>& backupDir, const CliEnvironment& env) {
  for (const UnsettledChange& cut : unsettled) {
    const Change& change = cut.change;
    Tell(env) << "change " << change.number << " (" << WhatWasDone(change, history) << " on "
              << Printable(change.record.device) << ", " << Printable(ShownTime(change.record.time)) << ") "
              << (change.outcome == ChangeOutcome::Cut ? "was cut short" : "failed part-way") << ": "
              << Aftermath(change, cut.undo, backupDir) << "\n";
  }
}

}  // namespace qlr::cli
