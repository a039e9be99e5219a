// The port map on POSIX systems: QLR5500_PORTS, or the system's own map.
#include <cstdlib>
#include <filesystem>

#include "link/port_map.h"

namespace qlr {

const char PortsSeparator = ':';

bool DeviceExists(const std::string& device) {
  std::error_code error;
  return std::filesystem::exists(device, error);
}

std::vector<PortInfo> ListPorts() {
  if (const char* list = std::getenv(PortsVariable)) return PortsFromList(list);
  return SystemPorts();
}

std::string DeviceForPort(int number) {
  for (const PortInfo& port : ListPorts()) {
    if (port.number == number) return port.device;
  }
  return {};
}

}  // namespace qlr
