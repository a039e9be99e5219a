#include "cli/cli.h"

#include "cli/command_line/arguments.h"
#include "cli/command_line/exit_codes.h"
#include "cli/command_line/help_text.h"
#include "cli/command_line/registry.h"
#include "cli/commands/command_context.h"
#include "cli/output/messages.h"

namespace qlr::cli {

int RunCli(const std::vector<std::string>& arguments, const CliEnvironment& env) {
  const CommandTable& table = Registry();
  const ParseOutcome parsed = ParseArguments(arguments, table);
  const Invocation& call = parsed.invocation;
  int code = ExitSuccess;
  if (!parsed.error.empty()) {
    Tell(env) << parsed.error << "\n" << UsageHint(call.command);
    return ExitUsage;
  }
  if (call.help) {
    const CommandSpec* about =
        call.command && call.command->IsHelp() && !call.operands.empty() ? table.Find(call.operands[0]) : call.command;
    env.out << HelpText(about, table);
  } else if (call.version) {
    env.out << "qlr5500 " << QLR_VERSION << "\n";
  } else if (!call.command || !call.command->run) {
    code = ExitUsage;
  } else {
    SetUp setUp = SetUpCommand(*call.command, call, env);
    code = setUp.context ? call.command->run(*setUp.context) : setUp.exitCode;
    if (setUp.context) ReportIncompleteTrace(*setUp.context);
  }
  // A result that never reached its reader (a full disk, a closed pipe) is a failure.
  env.out.flush();
  if (!env.out && (code == ExitSuccess || code == ExitDifferent)) {
    Tell(env) << "cannot write the result to standard output\n";
    return ExitFile;
  }
  return code;
}

}  // namespace qlr::cli
