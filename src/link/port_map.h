// Which device a port number 1..16 stands for.
//
// On Linux port n is the n-th serial port present on the machine, in this
// order: USB serial adapters (ttyUSB0, ttyUSB1, ...), USB modems (ttyACM0,
// ...), then built-in UARTs that really have hardware behind them (ttyS*,
// ttyAMA*, ...), each group in numeric order. Legacy UART placeholders
// without hardware are left out. The environment variable QLR5500_PORTS
// replaces the whole map: a colon-separated list of device paths, the k-th
// being port k; an empty entry is a port with no device.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qlr {

struct PortInfo {
  int number = 0;
  std::string device;       // e.g. "/dev/ttyUSB0"
  std::string description;  // what the machine says it is, e.g. "USB 0403:6001 FT232R"; may be empty
};

inline constexpr const char* PortsVariable = "QLR5500_PORTS";

// The device of port n, or "" when port n has no device.
std::string DeviceForPort(int number);

// The whole map, in port order; entries without a device are left out.
std::vector<PortInfo> ListPorts();

// The map built from a QLR5500_PORTS value (exposed for tests).
std::vector<PortInfo> PortsFromList(const std::string& list);

// The map built from a sysfs tty class directory such as /sys/class/tty,
// with device nodes named under `devDirectory` (exposed for tests).
std::vector<PortInfo> PortsFromSysfs(const std::filesystem::path& ttyClass,
                                     const std::filesystem::path& devDirectory = "/dev");

}  // namespace qlr
