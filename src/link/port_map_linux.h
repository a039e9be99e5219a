// The Linux port map's own source, the sysfs tty class (Linux only).
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "link/port_map.h"

namespace qlr {

// The map built from a sysfs tty class directory such as /sys/class/tty,
// with device nodes named under `devDirectory`, the ttys named in `consoles`
// marked as such (exposed for tests).
std::vector<PortInfo> PortsFromSysfs(const std::filesystem::path& ttyClass,
                                     const std::filesystem::path& devDirectory = "/dev",
                                     const std::set<std::string>& consoles = {});

// The ttys the kernel writes its console to ("ttyS0"), from
// sys/class/tty/console/active and proc/consoles below `root` (exposed for tests).
std::set<std::string> KernelConsoles(const std::filesystem::path& root);

// What else reads sysfs takes from here too.
// The first line of a file, without its end; empty when it cannot be read.
std::string ReadFirstLine(const std::filesystem::path& file);
// The USB device a sysfs device sits on: the nearest folder from `device`
// up that has idVendor and idProduct; empty when it is on no USB.
std::filesystem::path UsbDeviceOf(const std::filesystem::path& device);
// "vvvv:pppp" of a USB device folder as UsbDeviceOf finds it.
std::string UsbIdOf(const std::filesystem::path& usbDevice);

}  // namespace qlr
