// The question qlr5500 asks before it changes the receiver's EEPROM.
#pragma once

#include <string_view>

#include "cli/cli.h"

namespace qlr::cli {

enum class Confirmation {
  Yes,
  No,          // any answer but "y" or "yes", or the end of input
  NoTerminal,  // standard input is not a terminal: nobody could answer
};

// Asks `question` (with " [y/N] " after it) on the error stream and reads one
// line of the input. Asks nothing when the input is not a terminal.
Confirmation AskToConfirm(std::string_view question, const CliEnvironment& env);

}  // namespace qlr::cli
