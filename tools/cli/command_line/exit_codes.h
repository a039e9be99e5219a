// The exit status of qlr5500, the same for every subcommand; --help, the man
// page and docs/cli.md list it for scripts.
#pragma once

namespace qlr::cli {

enum ExitCode : int {
  ExitSuccess = 0,
  ExitDifferent = 1,    // compare/diff: the two images differ
  ExitNeedsFixing = 1,  // doctor: the receiver answers, but something needs fixing
  ExitUsage = 2,        // bad arguments, or a write that was not confirmed
  ExitReceiver = 3,     // the port, the line or the receiver failed
  ExitFile = 4,         // an image file, the trace (or standard output) could not be read or written
};

}  // namespace qlr::cli
