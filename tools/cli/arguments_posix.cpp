#include "cli/arguments.h"

namespace qlr::cli {

const char* const ExampleDevice = "/dev/ttyUSB0";

std::string DeviceOfName(std::string_view text) {
  if (text.find('/') == std::string_view::npos) return "/dev/" + std::string(text);
  return std::string(text);
}

}  // namespace qlr::cli
