// The subcommands of qlr5500, each the CommandHandler of a row of the
// registry (command_line/registry.cpp). Each takes a sound invocation and returns the exit
// status (command_line/exit_codes.h); each reports its own failures on env.err and its
// results on env.out.
#pragma once

#include "cli/command_line/arguments.h"
#include "cli/cli.h"

namespace qlr::cli {

// Without a receiver (offline.cpp).
int RunPorts(const Invocation& call, const CliEnvironment& env);
int RunDump(const Invocation& call, const CliEnvironment& env);
int RunDiff(const Invocation& call, const CliEnvironment& env);

// Reading from the receiver (read.cpp).
int RunFind(const Invocation& call, const CliEnvironment& env);
int RunRegion(const Invocation& call, const CliEnvironment& env);
int RunRead(const Invocation& call, const CliEnvironment& env);
int RunCompare(const Invocation& call, const CliEnvironment& env);

// Why the receiver does not answer, or answers slowly (doctor.cpp).
int RunDoctor(const Invocation& call, const CliEnvironment& env);

// Changing the receiver's EEPROM (write.cpp).
int RunWrite(const Invocation& call, const CliEnvironment& env);
int RunMedium(const Invocation& call, const CliEnvironment& env);

// The history of changes (history.cpp).
int RunHistory(const Invocation& call, const CliEnvironment& env);
int RunUndo(const Invocation& call, const CliEnvironment& env);

}  // namespace qlr::cli
