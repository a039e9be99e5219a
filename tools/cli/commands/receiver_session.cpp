#include "cli/commands/receiver_session.h"

#include <filesystem>

#include "cli/command_line/exit_codes.h"
#include "cli/output/link_messages.h"

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

bool SameDevice(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

int PortNumberOf(const std::string& device) {
  for (const PortInfo& info : ListPorts()) {
    if (SameDevice(info.device, device)) return info.number;
  }
  return PortOutsideMap;
}

std::string LinkFailureText(const LinkFailure& failure, const std::string& device, int port) {
  const std::string group = failure.kind == LinkFailureKind::PermissionDenied ? AccessGroupOf(device) : "";
  return DescribeLinkFailure(failure, device, port, group);
}

int ReportLinkFailure(const LinkFailure& failure, const std::string& device, int port, const CliEnvironment& env) {
  env.err << "qlr5500: " << LinkFailureText(failure, device, port) << "\n";
  return ExitReceiver;
}

std::vector<PortInfo> ScanForReceivers(CReceiverLink& link, bool all) {
  std::vector<PortInfo> found;
  if (!link.FindReceiver()) return found;
  found.push_back({link.PortNumber(), link.Device(), {}});
  if (!all) return found;
  for (int number = found.front().number + 1; number <= CReceiverLink::LastPort; ++number) {
    if (link.OpenPort(number) && link.CheckPresence()) found.push_back({number, link.Device(), {}});
  }
  return found;
}

int ReportNoReceiver(CReceiverLink& link, const CliEnvironment& env) {
  env.err << "qlr5500: no receiver answered on ports 1 to 16: is it connected and switched on?\n";
  for (const PortInfo& info : ListPorts()) {
    if (info.number > CReceiverLink::LastPort) break;
    const LinkResult<> opened = link.OpenPort(info.number);
    if (!opened && opened.Failure().sysErrno != 0) {
      env.err << "qlr5500: port " << info.number << ": " << LinkFailureText(opened.Failure(), info.device, info.number)
              << "\n";
    }
  }
  link.ClosePort();
  return ExitReceiver;
}

PortInfo PortOfSpec(const PortSpec& spec) {
  if (spec.number != 0) return {spec.number, DeviceForPort(spec.number), {}};
  return {PortNumberOf(spec.device), spec.device, {}};
}

LinkResult<> OpenPortAt(CReceiverLink& link, int number, const std::string& device) {
  return device.empty() ? link.OpenPort(number) : link.OpenPort(number, device);
}

OpenedReceiver OpenReceiver(CReceiverLink& link, const std::optional<PortSpec>& port, const CliEnvironment& env) {
  OpenedReceiver opened;
  if (!port) {
    const std::vector<PortInfo> found = ScanForReceivers(link, true);
    if (found.empty()) return {ReportNoReceiver(link, env), 0, {}};
    if (found.size() > 1) {
      env.err << "qlr5500: receivers answer on ports " << PortList(found) << ": choose one with --port\n";
      link.ClosePort();
      return {ExitUsage, 0, {}};
    }
    opened.port = found.front().number;
    opened.device = found.front().device;
  } else {
    const PortInfo asked = PortOfSpec(*port);
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
