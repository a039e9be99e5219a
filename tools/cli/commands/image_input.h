// Loading the image file a subcommand was given.
#pragma once

#include <string>

#include "cli/cli.h"
#include "image/eeprom_image.h"

namespace qlr::cli {

// Loads the first 128 bytes of the file `name` (UTF-8). A failure is reported
// on env.err and gives false (exit status 4 for the caller); a longer file
// gets a note that only its first 128 bytes count, since it is probably not
// an image.
bool LoadImageForCommand(const std::string& name, EepromImage& image, const CliEnvironment& env);

}  // namespace qlr::cli
