#include "link/device_name.h"

namespace qlr {

std::string DeviceOfName(std::string_view text) {
  // Only the device namespace reaches COM10 and above.
  if (text.find_first_of("\\/:") == std::string_view::npos) return "\\\\.\\" + std::string(text);
  return std::string(text);
}

}  // namespace qlr
