// The port map as qlr5500 shows it to a user.
#pragma once

#include <vector>

#include "link/port_map.h"

namespace qlr::cli {

// The ports of `map`, each described as the machine knows it: a map from
// QLR5500_PORTS names devices only, so their descriptions come from the
// machine's own map, and a device that does not exist says so.
std::vector<PortInfo> DescribedPorts(const PortMap& map);

}  // namespace qlr::cli
