#include "link/device_name.h"

namespace qlr {

std::string DeviceOfName(std::string_view text) {
  if (text.find('/') == std::string_view::npos) return "/dev/" + std::string(text);
  return std::string(text);
}

}  // namespace qlr
