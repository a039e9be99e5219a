#include "cli/output/failure_report.h"

#include "cli/command_line/exit_codes.h"
#include "cli/output/link_messages.h"
#include "cli/output/messages.h"

namespace qlr::cli {

std::string LinkFailureText(const LinkFailure& failure, const std::string& device, int port) {
  const std::string group = failure.kind == LinkFailureKind::PermissionDenied ? AccessGroupOf(device) : "";
  return DescribeLinkFailure(failure, device, port, group);
}

int ReportLinkFailure(const LinkFailure& failure, const std::string& device, int port, const CliEnvironment& env) {
  Tell(env) << LinkFailureText(failure, device, port) << "\n";
  return ExitReceiver;
}

int ReportTransferFailure(const LinkFailure& failure, const std::string& device, int port,
                          const std::optional<WriteScope>& written, const CliEnvironment& env) {
  const int code = ReportLinkFailure(failure, device, port, env);
  if (written && !failure.beganWriting) {
    Tell(env) << "nothing was written\n";
    if (!failure.enteredServiceMode) return code;
  } else if (!failure.enteredServiceMode) {
    return code;
  }
  if (written && failure.beganWriting) {
    const std::string bytes = std::to_string(written->count) + " " + written->noun;
    if (failure.addressesDone == written->count) {
      Tell(env) << "all " << bytes
                << " were written and verified, but the receiver did not come back to normal operation\n";
    } else {
      Tell(env) << "the EEPROM is partly written (" << failure.addressesDone << " of " << bytes
                << " written and verified)" << (written->undo ? "" : ": write it again, or restore a backup") << "\n";
    }
    if (written->undo) Tell(env) << *written->undo << "\n";
  }
  Tell(env) << "if the receiver no longer answers, switch it off and on again\n";
  return code;
}

int ReportNoBackup(const BackupFailure& failure, const CliEnvironment& env) {
  Tell(env) << "cannot keep a backup: " << failure.what << "\n";
  Tell(env) << "nothing was written (--no-backup writes without a backup)\n";
  return ExitFile;
}

}  // namespace qlr::cli
