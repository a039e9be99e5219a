#include "app/command_tail.h"

namespace qlr {

std::string ProgramCommandTail(int argc, const char* const* argv) { return CommandTail(argc, argv); }

}  // namespace qlr
