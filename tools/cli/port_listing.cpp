#include "cli/port_listing.h"

#include <filesystem>

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
    std::error_code error;
    for (const PortInfo& other : known) {
      if (other.device == port.device || std::filesystem::equivalent(other.device, port.device, error)) {
        port.description = other.description;
        break;
      }
    }
    if (port.description.empty() && !DeviceExists(port.device)) port.description = "(no such device)";
  }
  return ports;
}

}  // namespace qlr::cli
