// qlr5500's registry: every subcommand and every option it may take, one
// row each. The parser, the help texts and the dispatch read it; the man
// page and the bash completion are checked against it by the tests.
#pragma once

#include "cli/command_line/arguments.h"

namespace qlr::cli {

// Built on the first call, then never changed; safe from any thread.
const CommandTable& Registry();

}  // namespace qlr::cli
