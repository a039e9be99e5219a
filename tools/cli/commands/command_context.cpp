#include "cli/commands/command_context.h"

#include <ctime>

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

// The trace's first line: what ran, and when its times begin on the clock.
std::string TraceHeading(const std::string& command) {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  char started[32] = "?";
  if (local != nullptr) std::strftime(started, sizeof started, "%Y-%m-%dT%H:%M:%S", local);
  return "qlr5500 " QLR_VERSION " " + command + ", started " + started +
         "; ms since then, line settings, '>' sent, '<' received";
}

}  // namespace

SetUp SetUpCommand(const CommandSpec& command, const Invocation& call, const CliEnvironment& env) {
  CommandContext context{env, call, call.operands};
  // Made first: a trace that cannot be kept fails before the receiver hears anything.
  if (call.trace) {
    context.trace = std::make_unique<TraceFile>(PathFromUtf8(*call.trace), TraceHeading(std::string(command.name)));
    if (const std::string failure = context.trace->Failure(); !failure.empty()) {
      Tell(env) << "cannot write the trace " << *call.trace << " (" << failure << ")\n";
      return {std::nullopt, ExitFile};
    }
  }
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

void ReportIncompleteTrace(const CommandContext& context) {
  if (!context.trace) return;
  if (const std::string failure = context.trace->Failure(); !failure.empty()) {
    Tell(context.env) << "the trace " << *context.options.trace
                      << " is incomplete: it ends where a line could not be written (" << failure << ")\n";
  }
}

}  // namespace qlr::cli
