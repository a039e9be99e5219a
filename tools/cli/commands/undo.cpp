// Undoing a change of the history: the values from before it written back,
// with a backup first, as any change.
#include "change/undo.h"

#include "cli/command_line/exit_codes.h"
#include "cli/commands/change_command.h"
#include "cli/commands/commands.h"
#include "cli/output/backup_state_text.h"
#include "cli/output/messages.h"
#include "os/utf8_path.h"

namespace qlr::cli {

int RunUndo(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const std::optional<int> number = UndoneNumber(context.operands, context.history);
  if (!number) {
    Tell(env) << "undo takes the number of a change ('qlr5500 history' lists them), not '" << context.operands[0]
              << "'\n";
    return ExitUsage;
  }
  const std::string what = "the values from before change " + std::to_string(*number);
  if (!MayWrite(context, what)) return ExitUsage;
  const std::filesystem::path& folder = context.backups->path;
  const UndoPlan plan = PlanUndo(context.history, folder, *number);
  const std::string backup = Utf8OfPath(plan.backup);
  switch (plan.refusal) {
    case UndoPlan::Refusal::NoSuchChange:
      Tell(env) << "there is no change " << *number << ": the history in " << Utf8OfPath(folder) << " holds "
                << context.history.changes.size() << "\n";
      return ExitUsage;
    case UndoPlan::Refusal::InProgress:
      Tell(env) << "change " << *number << " is still being made by another qlr5500: nothing written\n";
      return ExitUsage;
    case UndoPlan::Refusal::WroteNothing:
      Tell(env) << "change " << *number << " failed before it wrote anything, so there is nothing to undo; "
                << "'qlr5500 history' lists the changes\n";
      return ExitUsage;
    case UndoPlan::Refusal::BackupRefused:
      Tell(env) << BackupRefusal(plan.backupState, plan.backup) << "\n";
      return ExitFile;
    case UndoPlan::Refusal::None: break;
  }
  if (plan.backupDeleted) Tell(env) << "note: " << backup << " is gone: writing the copy the history keeps of it\n";
  // Back to the receiver the change was made on, unless told otherwise.
  return RunGuardedChange(context, plan.request, context.options.port.value_or(PortSpec{0, plan.request.device}));
}

}  // namespace qlr::cli
