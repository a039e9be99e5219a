// The changes cut short (the program killed, the power lost) that nothing
// has settled since: every command that talks to a receiver names them
// first, with the undo that puts back the values from before each.
#pragma once

#include <string_view>
#include <vector>

#include "backup/history.h"

namespace qlr {

// The unsettled changes of `history`, newest first, but the one whose
// backup is `except` (the change an undo is about to put back).
std::vector<const Change*> UnsettledChanges(const History& history, std::string_view except = {});

}  // namespace qlr
