#include "cli/commands/change_command.h"

#include "change/unguarded_write.h"
#include "cli/command_line/exit_codes.h"
#include "cli/commands/receiver_session.h"
#include "cli/commands/terminal_change_view.h"
#include "cli/output/failure_report.h"
#include "cli/output/history_report.h"
#include "cli/output/messages.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

using Outcome = ChangeResult::Outcome;

// What a written change checked: each changed byte read back; the others as read just before.
std::string WhatWasChecked(std::size_t changed) {
  std::string text = std::to_string(changed) + (changed == 1 ? " byte" : " bytes") + " changed and read back";
  const std::size_t others = EepromSize - changed;
  if (others > 0) text += ", the other " + std::to_string(others) + " as read just before";
  return text;
}

int ReportChange(const ChangeResult& result, const ChangeRequest& request, const OpenedReceiver& receiver,
                 const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const BackupFolder& folder = *context.backups;
  const std::string backup = Utf8OfPath(folder.path / result.backupName);
  int code = ExitSuccess;
  switch (result.outcome) {
    case Outcome::NoBackup: return ReportNoBackup(result.backupFailure, env);
    case Outcome::ReadFailed:
      code = ReportTransferFailure(result.linkFailure, receiver.device, receiver.port, std::nullopt, env);
      Tell(env) << "nothing was written: no backup without a read (--no-backup writes without one)\n";
      return code;
    case Outcome::Stopped: Tell(env) << "stopped after the read, as asked: nothing written\n"; return ExitUsage;
    case Outcome::AlreadyHeld:
      env.out << "the EEPROM of the receiver on " << receiver.device << " already holds " << request.what
              << ": nothing written\n";
      if (!result.notRecorded) return ExitSuccess;
      Tell(env) << result.notRecorded->what << "\n";
      return ExitFile;
    case Outcome::RegionUnknown: return ReportLinkFailure(result.linkFailure, receiver.device, receiver.port, env);
    case Outcome::Declined: return ExitUsage;
    case Outcome::WriteFailed: {
      const int changed = static_cast<int>(result.changed);
      code = ReportTransferFailure(result.linkFailure, receiver.device, receiver.port,
                                   WriteScope{changed, changed == 1 ? "changed byte" : "changed bytes",
                                              "'" + UndoCommand(result.changeNumber, context.options.backupDir) +
                                                  "' puts back the values from before, kept in " + backup},
                                   env);
      break;
    }
    case Outcome::Written:
      env.out << "wrote " << request.what << " into the EEPROM of the receiver on " << receiver.device << ": "
              << WhatWasChecked(result.changed) << "\n"
              << "backup of the values before: " << backup << "\n";
      break;
  }
  if (result.notRecorded) {
    Tell(env) << "cannot record how the change ended: " << result.notRecorded->what
              << "; the history will show it as cut short\n";
    if (code == ExitSuccess) code = ExitFile;
  }
  return code;
}

}  // namespace

bool MayWrite(const CommandContext& context, const std::string& what) {
  // Refused before the port is touched: a script that forgot --yes sends nothing.
  if (context.options.yes || context.env.inputIsTerminal) return true;
  Tell(context.env) << "not writing " << what
                    << ": standard input is not a terminal to confirm on (--yes writes without asking)\n";
  return false;
}

int RunGuardedChange(const CommandContext& context, const ChangeRequest& request, const std::optional<PortSpec>& port) {
  CReceiverLink link = context.Link();
  const OpenedReceiver receiver = OpenReceiver(link, port, context.ports, context.env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  TerminalChangeView view(context.options, context.env);
  const ChangeResult result =
      MakeGuardedChange(request, {link, receiver.device, receiver.port}, *context.backups, view);
  return ReportChange(result, request, receiver, context);
}

int RunUnguardedWrite(const CommandContext& context, const EepromImage& image, const std::string& what) {
  CReceiverLink link = context.Link();
  const OpenedReceiver receiver = OpenReceiver(link, context.options.port, context.ports, context.env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  TerminalChangeView view(context.options, context.env);
  const UnguardedResult result = WriteWithoutBackup(image, what, {link, receiver.device, receiver.port}, view);
  if (result.declined) return ExitUsage;
  if (!result.written) {
    return ReportTransferFailure(result.written.Failure(), receiver.device, receiver.port,
                                 WriteScope{static_cast<int>(image.size())}, context.env);
  }
  context.env.out << "wrote " << what << " into the EEPROM of the receiver on " << receiver.device
                  << " and verified all " << image.size() << " bytes\n";
  return ExitSuccess;
}

}  // namespace qlr::cli
