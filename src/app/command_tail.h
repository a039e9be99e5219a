// The command line as the program judges it: the text after the program's
// name, with every leading blank and control character removed.
#pragma once

#include <string>
#include <string_view>

namespace qlr {

// The arguments joined by single blanks, as a POSIX shell hands them over.
std::string CommandTail(int argc, const char* const* argv);

// The tail of a whole command line as Windows keeps it: the program's name
// (quoted, or up to the first blank) is skipped, the rest kept as typed.
std::string CommandTailOfLine(std::string_view commandLine);

// This process's tail: from argv on POSIX, from the command line on Windows.
std::string ProgramCommandTail(int argc, const char* const* argv);

// True only for a tail of exactly "/SAVE", ignoring the case of the letters.
bool IsSnapshotCommand(const std::string& tail);

}  // namespace qlr
