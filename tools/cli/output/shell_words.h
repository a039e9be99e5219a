// Words as a user pastes them into a shell: the commands qlr5500 suggests
// ('qlr5500 undo 3 --backup-dir ...') must work when pasted, and a file
// name must not be able to forge what a line of output says.
#pragma once

#include <string>
#include <string_view>

namespace qlr::cli {

// `word` quoted for this system's shell where it needs it: POSIX shells get
// '...' (a ' inside as '\''), Windows' cmd and PowerShell "..."; a word of
// plain characters stays as it is.
std::string ShellQuoted(std::string_view word);

// `text` with its control characters shown as \n, \t, \r or \xHH, so that
// a name holding a line end cannot start a line of its own.
std::string Printable(std::string_view text);

}  // namespace qlr::cli
