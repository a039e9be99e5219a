#include "cli/commands/receiver_session.h"

#include "cli/command_line/exit_codes.h"
#include "cli/output/failure_report.h"
#include "cli/output/messages.h"

namespace qlr::cli {
namespace {

std::string PortList(const std::vector<PortInfo>& ports) {
  std::string text;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (i > 0) text += i + 1 == ports.size() ? " and " : ", ";
    text += std::to_string(ports[i].number) + " (" + ports[i].device + ")";
  }
  return text;
}

}  // namespace

std::vector<PortInfo> ScanForReceivers(CReceiverLink& link, bool all) {
  std::vector<PortInfo> found;
  if (!link.FindReceiver()) return found;
  found.push_back({link.PortNumber(), link.Device(), {}});
  if (!all) return found;
  for (int number = found.front().number + 1; number <= CReceiverLink::LastPort; ++number) {
    if (link.IsConsolePort(number)) continue;
    if (link.OpenPort(number) && link.CheckPresence()) found.push_back({number, link.Device(), {}});
  }
  return found;
}

int ReportNoReceiver(CReceiverLink& link, const PortMap& ports, const CliEnvironment& env) {
  Tell(env) << "no receiver answered on ports 1 to 16: is it connected and switched on?\n";
  for (const PortInfo& info : ports.Ports()) {
    if (info.number > CReceiverLink::LastPort) break;
    if (info.console) continue;
    const LinkResult<> opened = link.OpenPort(info.number);
    if (!opened && opened.Failure().sysErrno != 0) {
      Tell(env) << "port " << info.number << ": " << LinkFailureText(opened.Failure(), info.device, info.number)
                << "\n";
    }
  }
  link.ClosePort();
  return ExitReceiver;
}

PortInfo PortOfSpec(const PortSpec& spec, const PortMap& ports) {
  if (spec.number != 0) return {spec.number, ports.DeviceFor(spec.number), {}};
  const int number = ports.NumberOf(spec.device);
  return {number != 0 ? number : PortOutsideMap, spec.device, {}};
}

LinkResult<> OpenPortAt(CReceiverLink& link, int number, const std::string& device) {
  return device.empty() ? link.OpenPort(number) : link.OpenPort(number, device);
}

OpenedReceiver OpenReceiver(CReceiverLink& link, const std::optional<PortSpec>& port, const PortMap& ports,
                            const CliEnvironment& env) {
  OpenedReceiver opened;
  if (!port) {
    const std::vector<PortInfo> found = ScanForReceivers(link, true);
    if (found.empty()) return {ReportNoReceiver(link, ports, env), 0, {}};
    if (found.size() > 1) {
      Tell(env) << "receivers answer on ports " << PortList(found) << ": choose one with --port\n";
      link.ClosePort();
      return {ExitUsage, 0, {}};
    }
    opened.port = found.front().number;
    opened.device = found.front().device;
  } else {
    const PortInfo asked = PortOfSpec(*port, ports);
    opened.port = asked.number;
    opened.device = asked.device;
  }
  // A scan that went on past the receiver's port has left the link elsewhere.
  if (link.PortNumber() != opened.port || !link.IsOpen()) {
    if (const LinkResult<> openedPort = OpenPortAt(link, opened.port, opened.device); !openedPort) {
      opened.exitCode = ReportLinkFailure(openedPort.Failure(), opened.device, opened.port, env);
      return opened;
    }
    if (const LinkResult<> present = link.CheckPresence(); !present) {
      opened.exitCode = ReportLinkFailure(present.Failure(), opened.device, opened.port, env);
    }
  }
  return opened;
}

}  // namespace qlr::cli
