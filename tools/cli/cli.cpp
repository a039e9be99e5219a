#include "cli/cli.h"

#include "cli/arguments.h"
#include "cli/exit_codes.h"
#include "cli/help_text.h"

namespace qlr::cli {

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
    const CommandInfo& info = InfoFor(call.command);
    code = info.run ? info.run(call, env) : ExitUsage;
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
