// The command line as the program judges it: its arguments joined by single
// blanks, with every leading blank and control character removed.
#pragma once

#include <string>

namespace qlr {

std::string CommandTail(int argc, const char* const* argv);

// True only for a tail of exactly "/SAVE", ignoring the case of the letters.
bool IsSnapshotCommand(const std::string& tail);

}  // namespace qlr
