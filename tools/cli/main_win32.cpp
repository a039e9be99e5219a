// qlr5500.exe: the command line as UTF-16, whatever the ANSI code page can
// hold, turned into the UTF-8 that the CLI speaks; its output as the console
// or a redirection needs it.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands/interrupt_deferral.h"
#include "cli/output/console_output_win32.h"
#include "os/wide_string.h"

namespace {

// Windows' variable names know no case: "Qlr5500_Ports" is QLR5500_PORTS.
qlr::Environment VariablesOfProcess() {
  qlr::Environment variables;
  for (wchar_t** entry = _wenviron; entry != nullptr && *entry != nullptr; ++entry) {
    std::string text = qlr::Narrow(*entry);
    const std::size_t equals = text.find('=', 1);
    if (equals == std::string::npos) continue;
    std::transform(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(equals), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
    variables.SetEntry(text);
  }
  return variables;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(qlr::Narrow(argv[i]));
  qlr::cli::ConsoleOutput out(STD_OUTPUT_HANDLE);
  qlr::cli::ConsoleOutput err(STD_ERROR_HANDLE);
  // As std::cerr: unbuffered, and what the results held so far comes first.
  err.setf(std::ios::unitbuf);
  err.tie(&out);
  const qlr::cli::CliEnvironment env{
      .in = std::cin,
      .out = out,
      .err = err,
      .inputIsTerminal = qlr::cli::IsConsole(STD_INPUT_HANDLE),
      .errorIsTerminal = qlr::cli::IsConsole(STD_ERROR_HANDLE),
      .variables = VariablesOfProcess(),
  };
  const int code = qlr::cli::RunCli(arguments, env);
  if (qlr::cli::InterruptDeferred()) {
    out.flush();
    qlr::cli::EndAsInterrupted();
  }
  return code;
}
