// Subcommands that change the receiver's EEPROM: both ask first, both verify.
#include "cli/commands.h"
#include "cli/confirmation.h"
#include "cli/exit_codes.h"
#include "cli/image_input.h"
#include "cli/receiver_session.h"
#include "cli/transfer.h"
#include "image/eeprom_image.h"

namespace qlr::cli {
namespace {

// `what` names the image for messages, e.g. "backup.bin" or "the medium values".
int WriteToReceiver(const Invocation& call, const EepromImage& image, const std::string& what,
                    const CliEnvironment& env) {
  // Refused before the port is touched: a script that forgot --yes sends nothing.
  if (!call.yes && !env.inputIsTerminal) {
    env.err << "qlr5500: not writing " << what
            << ": standard input is not a terminal to confirm on (--yes writes without asking)\n";
    return ExitUsage;
  }
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

}  // namespace

int RunWrite(const Invocation& call, const CliEnvironment& env) {
  const std::string& file = call.operands[0];
  EepromImage image{};
  if (!LoadImageForCommand(file, image, env)) return ExitFile;
  return WriteToReceiver(call, image, file, env);
}

int RunMedium(const Invocation& call, const CliEnvironment& env) {
  return WriteToReceiver(call, MediumValues, "the medium values", env);
}

}  // namespace qlr::cli
