#include "cli/arguments.h"

namespace qlr::cli {

const char* const ExampleDevice = "/dev/ttyUSB0";

}  // namespace qlr::cli
