// The subcommands of qlr5500, each the CommandHandler of a row of the
// registry (command_line/registry.cpp). Each runs in the context set up for
// it (command_context.h), returns the exit status (command_line/exit_codes.h),
// reports its own failures on env.err and its results on env.out.
#pragma once

#include "cli/commands/command_context.h"

namespace qlr::cli {

// Without a receiver (offline.cpp).
int RunPorts(CommandContext& context);
int RunDump(CommandContext& context);
int RunDiff(CommandContext& context);

// Reading from the receiver (read.cpp).
int RunFind(CommandContext& context);
int RunRegion(CommandContext& context);
int RunRead(CommandContext& context);
int RunCompare(CommandContext& context);

// Why the receiver does not answer, or answers slowly (doctor.cpp).
int RunDoctor(CommandContext& context);

// Changing the receiver's EEPROM (write.cpp).
int RunWrite(CommandContext& context);
int RunMedium(CommandContext& context);

// The history of changes (history.cpp), and undoing one (undo.cpp).
int RunHistory(CommandContext& context);
int RunUndo(CommandContext& context);

}  // namespace qlr::cli
