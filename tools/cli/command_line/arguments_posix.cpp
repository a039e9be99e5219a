#include "cli/command_line/arguments.h"

namespace qlr::cli {

const char* const DefaultBackupFolder =
    "$XDG_DATA_HOME/qlr5500/backups (by default\n~/.local/share/qlr5500/backups; under sudo the invoking user's)";
const char* const ExampleDevice = "/dev/ttyUSB0";

}  // namespace qlr::cli
