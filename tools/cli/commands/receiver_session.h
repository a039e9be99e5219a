// Finding and opening the receiver for a subcommand, and reporting why that
// failed in words a user can act on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/command_line/arguments.h"
#include "link/port_map.h"
#include "link/receiver_link.h"

namespace qlr::cli {

// Where a subcommand ended up talking to the receiver.
struct OpenedReceiver {
  int exitCode = 0;  // ExitSuccess when the link is open on an answering receiver
  int port = 0;      // the link's PortNumber: the map's number, or 99 for a device outside the map
  std::string device;
};

inline constexpr int PortOutsideMap = 99;

// The port that --port names: its number (PortOutsideMap for a device the
// map does not hold) and device, as the link opens it.
PortInfo PortOfSpec(const PortSpec& spec, const PortMap& ports);

// Opens the link on the port: by number through its map, or, when the
// device is known, on that device under the number.
LinkResult<> OpenPortAt(CReceiverLink& link, int number, const std::string& device);

// Opens the link (made with `ports`) on `port` and checks that a receiver
// answers there ("H101", up to three times, as after a manual port choice
// in the dialog). Without a port every port is tried, and the one receiver
// that answers is used; none or several are reported. Failures are
// reported on env.err.
OpenedReceiver OpenReceiver(CReceiverLink& link, const std::optional<PortSpec>& port, const PortMap& ports,
                            const CliEnvironment& env);

// The ports where a receiver answers, in port order: the first is the link's
// FindReceiver; with `all`, every later port is tried as well. The link is
// left on the last port tried.
std::vector<PortInfo> ScanForReceivers(CReceiverLink& link, bool all);

// Reports that no receiver answered, with the ports of `ports` that could
// not be opened at all (permission, busy) since those are the usual
// reason. Returns ExitReceiver.
int ReportNoReceiver(CReceiverLink& link, const PortMap& ports, const CliEnvironment& env);

}  // namespace qlr::cli
