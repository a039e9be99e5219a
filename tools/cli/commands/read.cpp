// Subcommands that ask the receiver and change nothing in it.
#include <cerrno>
#include <filesystem>

#include "cli/commands/commands.h"
#include "cli/command_line/exit_codes.h"
#include "cli/output/formatting.h"
#include "cli/output/history_report.h"
#include "cli/commands/image_input.h"
#include "cli/commands/interrupt_deferral.h"
#include "cli/commands/receiver_session.h"
#include "cli/commands/transfer.h"
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
    env.err << "qlr5500: cannot write " << file << ": there is no directory " << Utf8OfPath(directory) << "\n";
    return false;
  }
  const fs::file_status status = fs::status(path, error);
  if (fs::is_directory(status)) {
    env.err << "qlr5500: cannot write " << file << ": it is a directory\n";
    return false;
  }
  if (noClobber && fs::exists(fs::symlink_status(path, error))) {
    env.err << "qlr5500: " << ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST}.Describe(path) << "\n";
    return false;
  }
  if (const ImageFileResult refusal = CheckSaveTarget(path, {.replaceExisting = !noClobber}); !refusal) {
    env.err << "qlr5500: " << refusal.Failure().Describe(path) << "\n";
    return false;
  }
  return true;
}

}  // namespace

int RunFind(const Invocation& call, const CliEnvironment& env) {
  ReportCutChanges(call, env);
  CReceiverLink link(env.systemCalls);
  const std::vector<PortInfo> found = ScanForReceivers(link, call.all);
  if (found.empty()) return ReportNoReceiver(link, env);
  for (const PortInfo& port : found) env.out << FormatFoundPort(port.number, port.device);
  return ExitSuccess;
}

int RunRegion(const Invocation& call, const CliEnvironment& env) {
  ReportCutChanges(call, env);
  CReceiverLink link(env.systemCalls);
  const OpenedReceiver receiver = OpenReceiver(link, call.port, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  const LinkResult<int> region = link.QueryRegion();
  if (!region) return ReportLinkFailure(region.Failure(), receiver.device, receiver.port, env);
  env.out << FormatRegion(region.Value());
  return ExitSuccess;
}

int RunRead(const Invocation& call, const CliEnvironment& env) {
  ReportCutChanges(call, env);
  const std::string& file = call.operands[0];
  const fs::path path = PathFromUtf8(file);
  if (!TargetLooksWritable(path, file, call.noClobber, env)) return ExitFile;
  CReceiverLink link(env.systemCalls);
  const OpenedReceiver receiver = OpenReceiver(link, call.port, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  EepromImage image{};
  if (const LinkResult<> read = ReadImage(link, image, env); !read) {
    return ReportTransferFailure(read.Failure(), receiver, false, env);
  }
  ImageFileResult saved;
  {
    // Ctrl-C in the middle of the save would leave its temporary file behind.
    const InterruptDeferral deferral;
    saved = SaveImageFile(path, image, {.replaceExisting = !call.noClobber});
  }
  if (!saved) {
    env.err << "qlr5500: " << saved.Failure().Describe(path) << "\n";
    return ExitFile;
  }
  env.out << "saved the EEPROM of the receiver on " << receiver.device << " in " << file << "\n";
  return ExitSuccess;
}

int RunCompare(const Invocation& call, const CliEnvironment& env) {
  ReportCutChanges(call, env);
  const std::string& file = call.operands[0];
  EepromImage fromFile{};
  if (!LoadImageForCommand(file, fromFile, env)) return ExitFile;
  CReceiverLink link(env.systemCalls);
  const OpenedReceiver receiver = OpenReceiver(link, call.port, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  EepromImage fromReceiver{};
  if (const LinkResult<> read = ReadImage(link, fromReceiver, env); !read) {
    return ReportTransferFailure(read.Failure(), receiver, false, env);
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
