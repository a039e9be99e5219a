// qlr5500 doctor: the machine's findings, then the ports tried for the
// receiver and its answers timed. Asks the receiver only for its presence
// and region: nothing here can change its EEPROM.
#include <chrono>

#include "cli/command_line/exit_codes.h"
#include "cli/commands/commands.h"
#include "cli/commands/port_listing.h"
#include "cli/commands/receiver_session.h"
#include "cli/doctor/doctor.h"

namespace qlr::cli {
namespace {

// The ports to try: the one asked for, or the map's 1..16 but the console.
std::vector<PortInfo> PortsToTry(const std::optional<PortSpec>& asked, const std::vector<PortInfo>& map,
                                 const PortMap& ports) {
  if (!asked) {
    std::vector<PortInfo> tried;
    for (const PortInfo& port : map) {
      if (port.number <= CReceiverLink::LastPort && !port.console) tried.push_back(port);
    }
    return tried;
  }
  PortInfo port = PortOfSpec(*asked, ports);
  for (const PortInfo& known : map) {
    if (known.number == port.number) port.description = known.description;
  }
  return {port};
}

// Region, low latency and the round trips of an answering receiver.
ReceiverProbe MeasureReceiver(CReceiverLink& link, const PortInfo& port) {
  ReceiverProbe receiver{port, {}, {}, link.LowLatencyGranted()};
  if (const LinkResult<int> region = link.QueryRegion(); region) receiver.region = region.Value();
  for (int trip = 0; trip < AnswerTimes::RoundTrips && link.IsOpen(); ++trip) {
    if (const auto took = link.TimePresence(); took) {
      receiver.times.seconds.push_back(std::chrono::duration<double>(took.Value()).count());
    } else {
      ++receiver.times.unanswered;
    }
  }
  return receiver;
}

// Tries the ports in turn until a receiver answers; the port is closed again.
std::vector<PortProbe> ProbePorts(CReceiverLink& link, const std::vector<PortInfo>& ports,
                                  std::optional<ReceiverProbe>& receiver) {
  std::vector<PortProbe> probes;
  for (const PortInfo& port : ports) {
    PortProbe& probe = probes.emplace_back(PortProbe{port, {}, false});
    if (const LinkResult<> opened = OpenPortAt(link, port.number, port.device); !opened) {
      probe.failure = opened.Failure();
      continue;
    }
    probe.opened = true;
    if (const LinkResult<> present = link.CheckPresence(); !present) {
      probe.failure = present.Failure();
      continue;
    }
    receiver = MeasureReceiver(link, port);
    break;
  }
  link.ClosePort();
  return probes;
}

std::string Conclusion(int code, const Findings& findings) {
  if (code == ExitSuccess) return "the receiver answers at full speed\n";
  if (code == ExitNeedsFixing) return "the receiver answers, but the problems above need fixing\n";
  return HasProblem(findings) ? "no receiver answered: fix the problems above\n"
                              : "no receiver answered: is it connected and switched on?\n";
}

}  // namespace

int RunDoctor(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const SystemView view;
  const std::vector<PortInfo> map = DescribedPorts(context.ports);
  Findings findings = SystemFindings(view, map, context.ports.Named());
  // The ports are tried next, which takes seconds: what is known is shown first.
  env.out << FormatFindings(findings) << std::flush;

  CReceiverLink link = context.Link();
  std::optional<ReceiverProbe> receiver;
  const std::vector<PortProbe> probes =
      ProbePorts(link, PortsToTry(context.options.port, map, context.ports), receiver);
  Findings tried = ProbeFindings(view, probes, receiver.has_value());
  if (receiver) {
    const Findings answers = ReceiverFindings(view, *receiver);
    tried.insert(tried.end(), answers.begin(), answers.end());
  }
  env.out << FormatFindings(tried);
  findings.insert(findings.end(), tried.begin(), tried.end());

  const int code = DoctorExitCode(findings, receiver.has_value());
  env.out << "\n" << Conclusion(code, findings);
  return code;
}

}  // namespace qlr::cli
