#include "cli/arguments.h"

namespace qlr::cli {

const char* const DefaultBackupFolder = "~/.local/share/qlr5500/backups\n(under sudo: the invoking user's)";
const char* const ExampleDevice = "/dev/ttyUSB0";

}  // namespace qlr::cli
