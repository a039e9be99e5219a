// The texts of --help: the tool's, and each subcommand's.
#pragma once

#include <string>

#include "cli/arguments.h"

namespace qlr::cli {

std::string ToolHelp();
std::string CommandHelp(Command command);
// One line that points a user who made a mistake to the right help.
std::string UsageHint(Command command);

}  // namespace qlr::cli
