// The doctor's portable half: what the probes of the receiver mean, and the
// checklist as it is printed.
#include "cli/doctor/doctor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/command_line/exit_codes.h"
#include "cli/commands/receiver_session.h"
#include "cli/output/failure_report.h"
#include "cli/output/formatting.h"
#include "link/region_names.h"
#include "link/wire_time.h"

namespace qlr::cli {
namespace {

std::string Milliseconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f ms", seconds * 1000);
  return text;
}

// Where to look when nothing above names the cause of slow answers.
std::string HeldBackFix(PortKind kind) {
  switch (kind) {
    case PortKind::UsbAdapter:
      return "something between the machine and the receiver holds the answers back: try the adapter\n"
             "in another USB port, without a hub, or another adapter";
    case PortKind::Uart:
      return "the built-in port's driver or a busy machine holds the answers back: try again when the\n"
             "machine is idle; in a virtual machine, its host decides";
    case PortKind::Unknown: break;
  }
  return "something between the machine and the receiver holds the answers back: try again when the\n"
         "machine is idle, or another port";
}

// `namedAbove` is the fix for slow answers when a finding above names the cause.
Finding TimingFinding(const AnswerTimes& times, const std::string& namedAbove, PortKind kind) {
  const std::string wire = "the wire needs " + Milliseconds(AnswerTimes::WireSeconds());
  if (times.seconds.empty()) {
    return {Mark::Problem, "answer time: none of " + std::to_string(AnswerTimes::RoundTrips) + " round trips answered",
            "switch the receiver off and on again, and check the cable and its plugs"};
  }
  const std::string text = "answer time: median " + Milliseconds(times.Median()) + ", worst " +
                           Milliseconds(times.Worst()) + " in " + std::to_string(times.seconds.size()) +
                           " round trips; " + wire;
  if (times.unanswered > 0) {
    return {Mark::Problem, text + "; " + std::to_string(times.unanswered) + " had no answer",
            "check the cable and its plugs: a loose contact or a long unshielded cable loses characters"};
  }
  if (!times.Slow()) return {Mark::Ok, text, {}};
  return {Mark::Problem, text + ": the answers are held back", namedAbove.empty() ? HeldBackFix(kind) : namedAbove};
}

}  // namespace

double AnswerTimes::WireSeconds() { return wire::IdealPresenceSeconds(); }

double AnswerTimes::Median() const {
  if (seconds.empty()) return 0;
  std::vector<double> sorted = seconds;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double AnswerTimes::Worst() const { return seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()); }

bool AnswerTimes::Slow() const { return !seconds.empty() && Median() > WireSeconds() + SlowMargin; }

std::string PortName(const PortInfo& port) {
  const std::string number = port.number == PortOutsideMap ? "" : " " + std::to_string(port.number);
  return "port" + number + (port.device.empty() ? "" : " " + port.device);
}

Finding LinkFailureFinding(const PortInfo& port, const LinkFailure& failure) {
  return {Mark::Problem, PortName(port) + ": " + LinkFailureText(failure, port.device, port.number), {}};
}

Findings SystemFindings(const SystemView& view, const std::vector<PortInfo>& ports, bool named) {
  Findings findings;
  if (named) {
    findings.push_back(
        {Mark::Ok, std::string(PortsVariable) + " names the ports; the machine's own map is not used", {}});
  }
  if (ports.empty()) {
    findings.push_back({Mark::Problem, "no serial port found",
                        "plug the receiver's serial adapter in; if it is plugged in, a finding below may say why\n"
                        "it has no port"});
  }
  for (const PortInfo& port : ports) {
    std::vector<std::string> details = PortDetails(view, port);
    if (!port.description.empty()) details.insert(details.begin(), port.description);
    if (port.console) details.push_back(ConsoleNote);
    std::string text = PortName(port);
    for (std::size_t i = 0; i < details.size(); ++i) text += (i == 0 ? ": " : ", ") + details[i];
    findings.push_back({Mark::Ok, text, {}});
  }
  const Findings adapters = AdapterFindings(view, ports);
  findings.insert(findings.end(), adapters.begin(), adapters.end());
  return findings;
}

Findings ProbeFindings(const SystemView& view, const std::vector<PortProbe>& probes, bool receiverAnswered) {
  Findings findings;
  for (const PortProbe& probe : probes) {
    if (probe.failure.kind == LinkFailureKind::None) continue;
    if (!probe.opened) {
      Finding refused = OpenFailureFinding(view, probe.port, probe.failure);
      if (receiverAnswered) refused.mark = Mark::Warning;
      findings.push_back(refused);
    } else if (receiverAnswered) {
      findings.push_back({Mark::Ok, PortName(probe.port) + ": opens; no receiver answers there", {}});
    } else {
      Finding silent = LinkFailureFinding(probe.port, probe.failure);
      silent.fix = "switch the receiver on and check that its cable is in this port";
      findings.push_back(silent);
    }
  }
  return findings;
}

Findings ReceiverFindings(const SystemView& view, const ReceiverProbe& receiver) {
  Findings findings;
  const std::string answers = PortName(receiver.port) + ": the receiver answers";
  if (receiver.region) {
    findings.push_back(
        {Mark::Ok,
         answers + ", region " + std::to_string(*receiver.region) + " " + std::string(RegionName(*receiver.region)),
         {}});
  } else {
    findings.push_back(
        {Mark::Warning, answers + ", but not to the question for its region", "switch it off and on again"});
  }
  const bool slow = receiver.times.Slow();
  std::string namedAbove;
  const std::optional<Finding> latency = AdapterLatencyFinding(view, receiver.port, slow, receiver.lowLatencyGranted);
  if (latency) findings.push_back(*latency);
  if (latency && latency->mark == Mark::Problem) namedAbove = "lower the adapter's latency as said above";
  const std::optional<Finding> trigger = UartTriggerFinding(view, receiver.port, slow);
  if (trigger) findings.push_back(*trigger);
  if (trigger && trigger->mark == Mark::Problem) namedAbove = "lower the UART's receive trigger as said above";
  findings.push_back(TimingFinding(receiver.times, namedAbove, KindOfPort(view, receiver.port)));
  return findings;
}

std::string FormatFindings(const Findings& findings) {
  static constexpr std::size_t MarkWidth = 9;
  static const std::string FixIndent(MarkWidth + 5, ' ');
  std::string text;
  for (const Finding& finding : findings) {
    std::string mark = finding.mark == Mark::Ok ? "ok" : finding.mark == Mark::Warning ? "warning" : "problem";
    mark.resize(MarkWidth, ' ');
    text += mark + finding.text + "\n";
    if (finding.fix.empty()) continue;
    std::string fix = finding.fix;
    for (std::size_t end = fix.find('\n'); end != std::string::npos; end = fix.find('\n', end + 1)) {
      fix.insert(end + 1, FixIndent);
    }
    text += std::string(MarkWidth, ' ') + "fix: " + fix + "\n";
  }
  return text;
}

bool HasProblem(const Findings& findings) {
  return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.mark == Mark::Problem; });
}

int DoctorExitCode(const Findings& findings, bool receiverAnswered) {
  if (!receiverAnswered) return ExitReceiver;
  return HasProblem(findings) ? ExitNeedsFixing : ExitSuccess;
}

}  // namespace qlr::cli
