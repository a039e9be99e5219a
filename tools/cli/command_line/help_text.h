// The texts of --help: the tool's, and each subcommand's, from the rows of a
// CommandTable.
#pragma once

#include <string>

#include "cli/command_line/arguments.h"

namespace qlr::cli {

// The help of `command`; the tool's for none or for the help command.
std::string HelpText(const CommandSpec* command, const CommandTable& table);
// One line that points a user who made a mistake to the right help.
std::string UsageHint(const CommandSpec* command);

}  // namespace qlr::cli
