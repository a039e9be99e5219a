// Subcommands that change the receiver's EEPROM: both ask first, both verify,
// and both keep a backup first unless told not to.
#include <filesystem>

#include "cli/command_line/exit_codes.h"
#include "cli/commands/change_command.h"
#include "cli/commands/commands.h"
#include "cli/commands/image_input.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

int WriteToReceiver(const CommandContext& context, const ChangeRequest& request) {
  if (!MayWrite(context, request.what)) return ExitUsage;
  if (context.options.noBackup) return RunUnguardedWrite(context, request.image, request.what);
  return RunGuardedChange(context, request, context.options.port);
}

}  // namespace

int RunWrite(const CommandContext& context) {
  const std::string& file = context.operands[0];
  ChangeRequest request{.what = file, .command = "write"};
  if (!LoadImageForCommand(file, request.image, context.env)) return ExitFile;
  std::error_code error;
  request.argument = Utf8OfPath(std::filesystem::absolute(PathFromUtf8(file), error));
  return WriteToReceiver(context, request);
}

int RunMedium(const CommandContext& context) {
  return WriteToReceiver(context, {.image = MediumValues, .what = "the medium values", .command = "medium"});
}

}  // namespace qlr::cli
