#include "cli/commands/port_listing.h"

#include "cli/commands/receiver_session.h"

namespace qlr::cli {

std::vector<PortInfo> DescribedPorts() {
  std::vector<PortInfo> ports = ListPorts();
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
