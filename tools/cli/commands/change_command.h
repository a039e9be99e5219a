// What write, medium and undo share: the refusal of a write nobody could
// confirm, the receiver opened, the change made (change/guarded_change.h,
// change/unguarded_write.h) and its outcome told.
#pragma once

#include <string>

#include "change/guarded_change.h"
#include "cli/commands/command_context.h"

namespace qlr::cli {

// False, with the refusal reported, when no confirmation could be asked
// and --yes was not given: before the receiver is touched.
bool MayWrite(const CommandContext& context, const std::string& what);

// Opens the receiver on `port` (or the one a scan finds) and makes the
// change with its backup in the context's folder; returns the exit status.
int RunGuardedChange(const CommandContext& context, const ChangeRequest& request, const std::optional<PortSpec>& port);

// Opens the receiver and writes all of `image` without a backup (--no-backup).
int RunUnguardedWrite(const CommandContext& context, const EepromImage& image, const std::string& what);

}  // namespace qlr::cli
