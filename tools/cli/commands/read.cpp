// Subcommands that ask the receiver and change nothing in it.
#include <cerrno>
#include <filesystem>

#include "cli/command_line/exit_codes.h"
#include "cli/commands/commands.h"
#include "cli/commands/image_input.h"
#include "cli/commands/interrupt_deferral.h"
#include "cli/commands/receiver_session.h"
#include "cli/commands/transfer.h"
#include "cli/output/failure_report.h"
#include "cli/output/formatting.h"
#include "cli/output/messages.h"
#include "image/image_file.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

namespace fs = std::filesystem;

// Refuses a target that cannot be written before the receiver is bothered;
// SaveImageFile still has the last word. `file` is `path` as the user typed it.
bool TargetLooksWritable(const fs::path& path, const std::string& file, bool noClobber, const CliEnvironment& env) {
  const fs::path directory = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    Tell(env) << "cannot write " << file << ": there is no directory " << Utf8OfPath(directory) << "\n";
    return false;
  }
  const fs::file_status status = fs::status(path, error);
  if (fs::is_directory(status)) {
    Tell(env) << "cannot write " << file << ": it is a directory\n";
    return false;
  }
  if (noClobber && fs::exists(fs::symlink_status(path, error))) {
    Tell(env) << ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST}.Describe(path) << "\n";
    return false;
  }
  if (const ImageFileResult refusal = CheckSaveTarget(path, {.replaceExisting = !noClobber}); !refusal) {
    Tell(env) << refusal.Failure().Describe(path) << "\n";
    return false;
  }
  return true;
}

}  // namespace

int RunFind(const CommandContext& context) {
  CReceiverLink link = context.Link();
  const std::vector<PortInfo> found = ScanForReceivers(link, context.options.all);
  if (found.empty()) return ReportNoReceiver(link, context.ports, context.env);
  for (const PortInfo& port : found) context.env.out << FormatFoundPort(port.number, port.device);
  return ExitSuccess;
}

int RunRegion(const CommandContext& context) {
  CReceiverLink link = context.Link();
  const OpenedReceiver receiver = OpenReceiver(link, context.options.port, context.ports, context.env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  const LinkResult<int> region = link.QueryRegion();
  if (!region) return ReportLinkFailure(region.Failure(), receiver.device, receiver.port, context.env);
  context.env.out << FormatRegion(region.Value());
  return ExitSuccess;
}

int RunRead(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const std::string& file = context.operands[0];
  const bool noClobber = context.options.noClobber;
  const fs::path path = PathFromUtf8(file);
  if (!TargetLooksWritable(path, file, noClobber, env)) return ExitFile;
  CReceiverLink link = context.Link();
  const OpenedReceiver receiver = OpenReceiver(link, context.options.port, context.ports, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  EepromImage image{};
  if (const LinkResult<> read = ReadImage(link, image, env); !read) {
    return ReportTransferFailure(read.Failure(), receiver.device, receiver.port, std::nullopt, env);
  }
  ImageFileResult saved;
  {
    // Ctrl-C in the middle of the save would leave its temporary file behind.
    const InterruptDeferral deferral;
    saved = SaveImageFile(path, image, {.replaceExisting = !noClobber});
  }
  if (!saved) {
    Tell(env) << saved.Failure().Describe(path) << "\n";
    return ExitFile;
  }
  env.out << "saved the EEPROM of the receiver on " << receiver.device << " in " << file << "\n";
  return ExitSuccess;
}

int RunCompare(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const std::string& file = context.operands[0];
  EepromImage fromFile{};
  if (!LoadImageForCommand(file, fromFile, env)) return ExitFile;
  CReceiverLink link = context.Link();
  const OpenedReceiver receiver = OpenReceiver(link, context.options.port, context.ports, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  EepromImage fromReceiver{};
  if (const LinkResult<> read = ReadImage(link, fromReceiver, env); !read) {
    return ReportTransferFailure(read.Failure(), receiver.device, receiver.port, std::nullopt, env);
  }
  const int count = CountDifferences(fromReceiver, fromFile);
  if (count == 0) {
    env.out << "the EEPROM of the receiver on " << receiver.device << " is identical to " << file << "\n";
    return ExitSuccess;
  }
  env.out << "the EEPROM of the receiver on " << receiver.device << " differs from " << file << " in " << count
          << (count == 1 ? " byte\n" : " bytes\n") << FormatDifferences(fromReceiver, fromFile, "receiver", "file");
  return ExitDifferent;
}

}  // namespace qlr::cli
