// The C runtime's argv has lost the quotes and blanks as typed: the tail
// comes from the command line itself.
#include <windows.h>

#include "app/command_tail.h"
#include "os/wide_string.h"

namespace qlr {

std::string ProgramCommandTail(int, const char* const*) { return CommandTailOfLine(Narrow(::GetCommandLineW())); }

}  // namespace qlr
