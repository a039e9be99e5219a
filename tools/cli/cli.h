// qlr5500, the command-line face of SaveQLR5500: scripted backups, restores
// and comparisons of the receiver's EEPROM through the same link and image
// files as the dialog.
//
// RunCli is the whole program except for main(): it takes the words of the
// command line and an environment, and returns the exit status
// (command_line/exit_codes.h).
// It never calls exit() and touches no stream but those it is given, so tests
// can run it in-process with their own streams and system calls.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "os/environment.h"

namespace qlr {
struct SystemCalls;
}

namespace qlr::cli {

struct CliEnvironment {
  std::istream& in;
  std::ostream& out;             // results, for scripts
  std::ostream& err;             // messages, prompts and the progress bar
  bool inputIsTerminal = false;  // may a confirmation be asked on `in`?
  bool errorIsTerminal = false;  // is `err` a terminal that can show a progress bar?
  // The serial layer's system calls; null means the real ones.
  const SystemCalls* systemCalls = nullptr;
  // The environment variables the program was started with: the port map's
  // QLR5500_PORTS and what decides the backup folder. Nothing below asks
  // the process for them.
  Environment variables{};
};

// `arguments` are the words after the program's name.
int RunCli(const std::vector<std::string>& arguments, const CliEnvironment& env);

}  // namespace qlr::cli
