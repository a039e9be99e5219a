// The device a name typed for a port stands for.
#pragma once

#include <string>
#include <string_view>

namespace qlr {

// A bare name is one of the system's serial devices: "ttyUSB0" is
// /dev/ttyUSB0 on Linux, "COM12" is \\.\COM12 on Windows. A path stays as
// it is.
std::string DeviceOfName(std::string_view text);

}  // namespace qlr
