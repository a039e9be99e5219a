// Finding and opening the receiver for a subcommand, and reporting why that
// failed in words a user can act on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/command_line/arguments.h"
#include "cli/cli.h"
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

// The map's number for a device given by path, so that messages and the
// link agree with 'qlr5500 ports'; PortOutsideMap for a device not in it.
int PortNumberOf(const std::string& device);

// Whether two paths name the same device (a link and its target do).
bool SameDevice(const std::string& a, const std::string& b);

// The port that --port names: its number and device, as the link opens it.
PortInfo PortOfSpec(const PortSpec& spec);

// Opens the link on the port: by number through the map, or, when the
// device is known, on that device under the number.
LinkResult<> OpenPortAt(CReceiverLink& link, int number, const std::string& device);

// Opens the link on `port` and checks that a receiver answers there ("H101",
// up to three times, as after a manual port choice in the dialog). Without a
// port every port is tried, and the one receiver that answers is used; none
// or several are reported. Failures are reported on env.err.
OpenedReceiver OpenReceiver(CReceiverLink& link, const std::optional<PortSpec>& port, const CliEnvironment& env);

// The ports where a receiver answers, in port order: the first is the link's
// FindReceiver; with `all`, every later port is tried as well. The link is
// left on the last port tried.
std::vector<PortInfo> ScanForReceivers(CReceiverLink& link, bool all);

// Reports that no receiver answered, with the ports that could not be opened
// at all (permission, busy) since those are the usual reason. Returns ExitReceiver.
int ReportNoReceiver(CReceiverLink& link, const CliEnvironment& env);

// What a failure of the link means, on `device` (port `port`).
std::string LinkFailureText(const LinkFailure& failure, const std::string& device, int port);

// Prints "qlr5500: <what the failure means>" and returns ExitReceiver.
int ReportLinkFailure(const LinkFailure& failure, const std::string& device, int port, const CliEnvironment& env);

}  // namespace qlr::cli
