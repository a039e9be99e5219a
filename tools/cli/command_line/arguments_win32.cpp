#include "cli/command_line/arguments.h"

namespace qlr::cli {

const char* const DefaultBackupFolder = "%LOCALAPPDATA%\\SaveQLR5500\\backups";
const char* const ExampleDevice = "COM3";

}  // namespace qlr::cli
