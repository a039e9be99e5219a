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

// The backup of the change an undo names, which is about to be put back.
std::string Undone(const CommandContext& context) {
  const std::optional<int> number = UndoneNumber(context.operands);
  const Change* change = number ? FindChange(context.history, *number) : nullptr;
  return change ? change->record.backupName : std::string();
}

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
      if (const BackupResult<> made = keeps ? MakeBackupFolder(found.Value()) : BackupResult<>(); !made) {
        return {std::nullopt, ReportNoBackup(made.Failure(), env)};
      }
      context.backups = found.Value();
      context.history = ReadHistory(found.Value().path);
    }
  }

  if (Has(command, WarnsOfCutChanges)) {
    const std::string except = Has(command, UndoesAChange) ? Undone(context) : std::string();
    ReportCutChanges(UnsettledChanges(context.history, except), context.history, call.backupDir, env);
  }
  return {std::move(context), ExitSuccess};
}

}  // namespace qlr::cli
