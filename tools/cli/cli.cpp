#include "cli/cli.h"

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/help_text.h"

namespace qlr::cli {
namespace {

int Dispatch(const Invocation& call, const CliEnvironment& env) {
  switch (call.command) {
    case Command::Ports: return RunPorts(call, env);
    case Command::Find: return RunFind(call, env);
    case Command::Region: return RunRegion(call, env);
    case Command::Read: return RunRead(call, env);
    case Command::Compare: return RunCompare(call, env);
    case Command::Write: return RunWrite(call, env);
    case Command::Medium: return RunMedium(call, env);
    case Command::Dump: return RunDump(call, env);
    case Command::Diff: return RunDiff(call, env);
    case Command::None:
    case Command::Help: break;
  }
  return ExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, const CliEnvironment& env) {
  const ParseOutcome parsed = ParseArguments(arguments);
  const Invocation& call = parsed.invocation;
  int code = ExitSuccess;
  if (!parsed.error.empty()) {
    env.err << "qlr5500: " << parsed.error << "\n" << UsageHint(call.command);
    return ExitUsage;
  }
  if (call.help) {
    const Command about =
        call.command == Command::Help && !call.operands.empty() ? FindCommand(call.operands[0])->command : call.command;
    env.out << CommandHelp(about);
  } else if (call.version) {
    env.out << "qlr5500 " << QLR_VERSION << "\n";
  } else {
    code = Dispatch(call, env);
  }
  // A result that never reached its reader (a full disk, a closed pipe) is a failure.
  env.out.flush();
  if (!env.out && (code == ExitSuccess || code == ExitDifferent)) {
    env.err << "qlr5500: cannot write the result to standard output\n";
    return ExitFile;
  }
  return code;
}

}  // namespace qlr::cli
