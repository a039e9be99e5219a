#include "cli/arguments.h"

namespace qlr::cli {

const char* const ExampleDevice = "COM3";

}  // namespace qlr::cli
