// The history of changes: listing it, and undoing a change.
#include <charconv>

#include "backup/backup_folder.h"
#include "backup/history.h"
#include "cli/commands/commands.h"
#include "cli/command_line/exit_codes.h"
#include "cli/commands/guarded_write.h"
#include "cli/output/history_report.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

// The change an undo names: 1, the newest, when none is given.
std::optional<int> ChangeNumber(const Invocation& call) {
  if (call.operands.empty()) return 1;
  const std::string& text = call.operands[0];
  int number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 1) return std::nullopt;
  return number;
}

// The folder `call` names, or the default one; reported when there is none.
std::optional<BackupFolder> HistoryFolder(const Invocation& call, const CliEnvironment& env) {
  const BackupResult<BackupFolder> folder = FindBackupFolder(ChosenBackupFolder(call));
  if (!folder) {
    env.err << "qlr5500: no history: " << folder.Failure().what << "\n";
    return std::nullopt;
  }
  return folder.Value();
}

}  // namespace

int RunHistory(const Invocation& call, const CliEnvironment& env) {
  const std::optional<BackupFolder> folder = HistoryFolder(call, env);
  if (!folder) return ExitFile;
  const History history = ReadHistory(folder->path);
  for (const std::string& note : history.notes) env.err << "qlr5500: " << note << "\n";
  if (call.porcelain) {
    env.out << FormatHistoryPorcelain(history, folder->path);
  } else if (history.changes.empty()) {
    env.out << "no changes recorded in " << Utf8OfPath(folder->path) << "\n";
  } else {
    env.out << FormatHistory(history, folder->path, call);
  }
  return ExitSuccess;
}

int RunUndo(const Invocation& call, const CliEnvironment& env) {
  const std::optional<int> number = ChangeNumber(call);
  if (!number) {
    env.err << "qlr5500: undo takes the number of a change ('qlr5500 history' lists them), not '" << call.operands[0]
            << "'\n";
    return ExitUsage;
  }
  const std::string what = "the values from before change " + std::to_string(*number);
  if (!MayWrite(call, what, env)) return ExitUsage;
  const std::optional<BackupFolder> folder = HistoryFolder(call, env);
  if (!folder) return ExitFile;
  const History history = ReadHistory(folder->path);
  if (static_cast<std::size_t>(*number) > history.changes.size()) {
    env.err << "qlr5500: there is no change " << *number << ": the history in " << Utf8OfPath(folder->path) << " holds "
            << history.changes.size() << "\n";
    return ExitUsage;
  }
  const Change& change = history.changes[static_cast<std::size_t>(*number - 1)];
  const std::string backup = Utf8OfPath(folder->path / change.record.backupName);
  if (change.outcome == ChangeOutcome::InProgress) {
    env.err << "qlr5500: change " << *number << " is still being made by another qlr5500: nothing written\n";
    return ExitUsage;
  }
  // Two copies that disagree: neither is trusted over the other.
  if (change.backup == BackupState::Altered) {
    env.err << "qlr5500: " << backup << " no longer holds what the history kept of it: not writing either copy\n";
    return ExitFile;
  }
  if (change.backup == BackupState::Deleted) {
    env.err << "qlr5500: note: " << backup << " is gone: writing the copy the history keeps of it\n";
  }
  return WriteWithBackup(call,
                         {.image = change.record.before,
                          .what = what,
                          .command = "undo",
                          .argument = change.record.backupName,
                          .region = change.record.region,
                          .undoneNumber = *number,
                          .settles = change.unsettled ? change.record.backupName : ""},
                         env);
}

}  // namespace qlr::cli
