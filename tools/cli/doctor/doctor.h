// qlr5500 doctor: why the receiver does not answer, or answers slowly, and
// what to do about it.
//
// The doctor looks at the machine (its serial ports and USB adapters, the
// services that take adapters away, who may open a port and who holds it),
// tries the ports for the receiver and times its answers. What it finds is
// data, a list of findings, built by functions that read the system through
// one seam, a SystemView, so that tests can point them at a scratch tree;
// printing them is apart. It never writes the EEPROM and never changes a
// setting of the system: a fix is something the user runs.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_failure.h"
#include "link/port_map.h"

namespace qlr::cli {

enum class Mark {
  Ok,
  Warning,  // worth knowing and fixing, but it does not keep the receiver from answering now
  Problem,  // it keeps the receiver from answering, or makes it slow
};

struct Finding {
  Mark mark = Mark::Ok;
  std::string text;  // one line
  std::string fix;   // for a warning or a problem: the commands to run or where to click; may hold several lines
};
using Findings = std::vector<Finding>;

// Where the doctor reads the system from. On POSIX systems every place it
// reads lies below `root`: /sys, /proc, /dev/serial, the udev rules folders
// (/etc, /lib, /usr/lib) and the systemd unit folders; the devices
// themselves and the user and group databases are looked at where they
// are. Windows reads its registry and SetupAPI and ignores it.
struct SystemView {
  std::filesystem::path root = "/";

  // `inside` ("sys/class/tty") below the root.
  std::filesystem::path operator/(std::string_view inside) const { return root / inside; }
};

// What trying one port gave.
struct PortProbe {
  PortInfo port;
  LinkFailure failure;  // kind None when a receiver answered there
  bool opened = false;  // the port opened (a failure is then the receiver's silence)
};

// The round trips of "H101" at 9600 baud, each against its wire time.
struct AnswerTimes {
  static constexpr int RoundTrips = 20;

  std::vector<double> seconds;  // the round trips that were answered
  int unanswered = 0;

  double Median() const;
  double Worst() const;
  // The median is more than SlowMargin above the wire time: something holds
  // the answers back (a 1 ms adapter timer or a busy machine is no concern).
  bool Slow() const;
  static double WireSeconds();
  static constexpr double SlowMargin = 0.005;
};

// The receiver that answered, and how.
struct ReceiverProbe {
  PortInfo port;
  std::optional<int> region;  // none when it did not say
  AnswerTimes times;
  bool lowLatencyGranted = false;  // the serial layer's request for prompt delivery (Linux)
};

// --- the machine (one implementation per platform) ---

// What the system says of a port beyond its description, e.g. "driver
// ftdi_sio" and its /dev/serial/by-id name, or Device Manager's name for it.
std::vector<std::string> PortDetails(const SystemView& view, const PortInfo& port);

// What keeps adapters away from the port map or disturbs them: adapters
// without a serial device, services that take or probe them. `ports` is the
// map, for the adapters a fix names.
Findings AdapterFindings(const SystemView& view, const std::vector<PortInfo>& ports);

// Why a port could not be opened, as a problem: who holds it, which group
// may open it.
Finding OpenFailureFinding(const SystemView& view, const PortInfo& port, const LinkFailure& failure);

// The adapter's own delay of short answers (an FTDI latency timer), when the
// system knows it; `slow` says whether the measured answers were.
std::optional<Finding> AdapterLatencyFinding(const SystemView& view, const PortInfo& port, bool slow,
                                             bool lowLatencyGranted);

// What a port is, as far as the system says: slow answers have other causes
// (and other fixes) on a USB adapter than on a UART built into the machine.
enum class PortKind { Unknown, UsbAdapter, Uart };
PortKind KindOfPort(const SystemView& view, const PortInfo& port);

// A built-in UART's own delay of short answers, its receive FIFO's trigger
// level, when the system knows it: above 1 byte a warning whatever the
// timing (a problem when `slow`), with the command that sets 1 now and the
// rule that keeps it.
std::optional<Finding> UartTriggerFinding(const SystemView& view, const PortInfo& port, bool slow);

// --- the map (portable) ---

// The port map as 'qlr5500 ports' shows it, each port with its details,
// then the adapter findings; `named`: QLR5500_PORTS made the map.
Findings SystemFindings(const SystemView& view, const std::vector<PortInfo>& ports, bool named);

// A failure as the other commands describe it, a problem without a fix of
// its own (the text says what to do).
Finding LinkFailureFinding(const PortInfo& port, const LinkFailure& failure);

// --- the receiver (portable) ---

// What each probe says; ports without a receiver are only worth a warning
// (or an ok) when a receiver answered elsewhere.
Findings ProbeFindings(const SystemView& view, const std::vector<PortProbe>& probes, bool receiverAnswered);
// Presence, region, the adapter's latency and the answer time.
Findings ReceiverFindings(const SystemView& view, const ReceiverProbe& receiver);

// "port 3 /dev/ttyUSB0", as the findings name a port.
std::string PortName(const PortInfo& port);

// The checklist: "ok       text", and for a warning or a problem its text
// then its fix, indented below it.
std::string FormatFindings(const Findings& findings);

bool HasProblem(const Findings& findings);

// 0 when a receiver answered and nothing is a problem; 1 when it answered
// but a problem needs fixing; 3 when no receiver answered.
int DoctorExitCode(const Findings& findings, bool receiverAnswered);

}  // namespace qlr::cli
