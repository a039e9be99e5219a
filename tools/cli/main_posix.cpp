// qlr5500: read the command line, run the subcommand, end with its status.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands/ending_signals_posix.h"
#include "cli/commands/interrupt_deferral.h"

extern char** environ;

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const qlr::cli::CliEnvironment env{
      .in = std::cin,
      .out = std::cout,
      .err = std::cerr,
      .inputIsTerminal = ::isatty(STDIN_FILENO) == 1,
      .errorIsTerminal = ::isatty(STDERR_FILENO) == 1,
      .variables = qlr::Environment::FromEntries(environ),
  };
  const qlr::cli::PortsRestoredOnEndingSignal restoring;
  const int code = qlr::cli::RunCli(arguments, env);
  if (qlr::cli::InterruptDeferred()) {
    std::cout.flush();
    qlr::cli::EndAsInterrupted();
  }
  return code;
}
