// The subcommands of qlr5500, each the CommandHandler of a row of the
// registry (command_line/registry.cpp). Each runs in the context set up for
// it (command_context.h), returns the exit status (command_line/exit_codes.h),
// reports its own failures on env.err and its results on env.out.
#pragma once

#include "cli/commands/command_context.h"

namespace qlr::cli {

// Without a receiver (offline.cpp).
int RunPorts(const CommandContext& context);
int RunDump(const CommandContext& context);
int RunDiff(const CommandContext& context);

// Reading from the receiver (read.cpp).
int RunFind(const CommandContext& context);
int RunRegion(const CommandContext& context);
int RunRead(const CommandContext& context);
int RunCompare(const CommandContext& context);

// Why the receiver does not answer, or answers slowly (doctor.cpp).
int RunDoctor(const CommandContext& context);

// Changing the receiver's EEPROM (write.cpp).
int RunWrite(const CommandContext& context);
int RunMedium(const CommandContext& context);

// The history of changes (history.cpp), and undoing one (undo.cpp).
int RunHistory(const CommandContext& context);
int RunUndo(const CommandContext& context);

}  // namespace qlr::cli
