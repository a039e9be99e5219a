// The Linux port map's own source, the sysfs tty class (Linux only).
#pragma once

#include <filesystem>
#include <vector>

#include "link/port_map.h"

namespace qlr {

// The map built from a sysfs tty class directory such as /sys/class/tty,
// with device nodes named under `devDirectory` (exposed for tests).
std::vector<PortInfo> PortsFromSysfs(const std::filesystem::path& ttyClass,
                                     const std::filesystem::path& devDirectory = "/dev");

}  // namespace qlr
