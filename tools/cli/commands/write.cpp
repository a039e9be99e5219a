// Subcommands that change the receiver's EEPROM: both ask first, both verify,
// and both keep a backup first unless told not to.
#include <filesystem>

#include "cli/commands/commands.h"
#include "cli/output/confirmation.h"
#include "cli/command_line/exit_codes.h"
#include "cli/commands/guarded_write.h"
#include "cli/output/history_report.h"
#include "cli/commands/image_input.h"
#include "cli/commands/receiver_session.h"
#include "cli/commands/transfer.h"
#include "image/eeprom_image.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

// --no-backup: all 128 bytes, nothing read first, nothing kept.
int WriteWithoutBackup(const Invocation& call, const EepromImage& image, const std::string& what,
                       const CliEnvironment& env) {
  ReportCutChanges(call, env);
  CReceiverLink link(env.systemCalls);
  const OpenedReceiver receiver = OpenReceiver(link, call.port, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  if (!call.yes) {
    const std::string question = "write " + what + " into the EEPROM of the receiver on " + receiver.device + "?";
    if (AskToConfirm(question, env) != Confirmation::Yes) {
      env.err << "qlr5500: nothing written\n";
      return ExitUsage;
    }
  }
  if (const LinkResult<> written = WriteImage(link, image, env); !written) {
    return ReportTransferFailure(written.Failure(), receiver, true, env);
  }
  env.out << "wrote " << what << " into the EEPROM of the receiver on " << receiver.device << " and verified all "
          << image.size() << " bytes\n";
  return ExitSuccess;
}

int WriteToReceiver(const Invocation& call, const ChangeRequest& request, const CliEnvironment& env) {
  if (!MayWrite(call, request.what, env)) return ExitUsage;
  if (call.noBackup) return WriteWithoutBackup(call, request.image, request.what, env);
  return WriteWithBackup(call, request, env);
}

}  // namespace

int RunWrite(const Invocation& call, const CliEnvironment& env) {
  const std::string& file = call.operands[0];
  ChangeRequest request{.what = file, .command = "write"};
  if (!LoadImageForCommand(file, request.image, env)) return ExitFile;
  std::error_code error;
  request.argument = Utf8OfPath(std::filesystem::absolute(PathFromUtf8(file), error));
  return WriteToReceiver(call, request, env);
}

int RunMedium(const Invocation& call, const CliEnvironment& env) {
  return WriteToReceiver(call, {.image = MediumValues, .what = "the medium values", .command = "medium"}, env);
}

}  // namespace qlr::cli
