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

PortMap PortMap::Read(const std::optional<std::string>& portsVariable) {
  if (portsVariable) return {PortsFromList(*portsVariable), true};
  return {SystemPorts(), false};
}

PortMap PortMap::OfProcess() {
  const char* list = std::getenv(PortsVariable);
  return Read(list ? std::optional<std::string>(list) : std::nullopt);
}

std::string PortMap::UnlistedDevice(int) { return {}; }

}  // namespace qlr
