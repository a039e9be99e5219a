#include "cli/commands/command_context.h"

#include "change/cut_changes.h"
#include "change/undo.h"
#include "cli/command_line/exit_codes.h"
#include "cli/output/failure_report.h"
#include "cli/output/history_report.h"
#include "cli/output/messages.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

bool Has(const CommandSpec& command, Needs need) { return (command.needs & need) != 0; }

// The change an undo names, which is about to be undone; 0 for none.
int Undone(const CommandContext& context) { return UndoneNumber(context.operands, context.history).value_or(0); }

}  // namespace

SetUp SetUpCommand(const CommandSpec& command, const Invocation& call, const CliEnvironment& env) {
  CommandContext context{env, call, call.operands};
  if (Has(command, NeedsPorts)) context.ports = PortMap::Read(env.variables.Get(PortsVariable));

  const bool keeps = Has(command, KeepsBackups) && !call.noBackup;
  if (Has(command, NeedsHistory) || Has(command, WarnsOfCutChanges) || keeps) {
    std::optional<std::filesystem::path> chosen;
    if (call.backupDir) chosen = PathFromUtf8(*call.backupDir);
    const BackupResult<BackupFolder> found = FindBackupFolder(chosen, env.variables);
    if (!found && Has(command, NeedsHistory)) {
      Tell(env) << "no history: " << found.Failure().what << "\n";
      return {std::nullopt, ExitFile};
    }
    if (!found && keeps) return {std::nullopt, ReportNoBackup(found.Failure(), env)};
    if (found) {
      // Before the receiver is opened: a refusal here leaves it untouched.
      BackupResult<> usable = keeps ? MakeBackupFolder(found.Value()) : BackupResult<>();
      if (usable) usable = CheckBackupFolder(found.Value());
      if (!usable && keeps) return {std::nullopt, ReportNoBackup(usable.Failure(), env)};
      if (!usable && Has(command, NeedsHistory)) {
        Tell(env) << "no history: " << usable.Failure().what << "\n";
        return {std::nullopt, ExitFile};
      }
      if (!usable) {
        Tell(env) << "not looking for changes cut short: " << usable.Failure().what << "\n";
      } else {
        context.backups = found.Value();
        context.history = ReadHistory(found.Value().path);
      }
    }
  }

  if (Has(command, WarnsOfCutChanges)) {
    const int undoing = Has(command, UndoesAChange) ? Undone(context) : 0;
    ReportCutChanges(UnsettledChanges(context.history, undoing), context.history, call.backupDir, env);
  }
  return {std::move(context), ExitSuccess};
}

}  // namespace qlr::cli
