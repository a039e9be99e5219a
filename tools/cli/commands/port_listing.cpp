#include "cli/commands/port_listing.h"

namespace qlr::cli {

std::vector<PortInfo> DescribedPorts(const PortMap& map) {
  std::vector<PortInfo> ports = map.Ports();
  std::vector<PortInfo> known;
  bool looked = false;
  for (PortInfo& port : ports) {
    if (!port.description.empty()) continue;
    if (!looked) {
      known = SystemPorts();
      looked = true;
    }
    for (const PortInfo& other : known) {
      if (SameDevice(other.device, port.device)) {
        port.description = other.description;
        break;
      }
    }
    if (port.description.empty() && !DeviceExists(port.device)) port.description = "(no such device)";
  }
  return ports;
}

}  // namespace qlr::cli
