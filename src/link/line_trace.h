// LineTrace: what crosses the serial line, reported by CReceiverLink as it
// happens, for a trace that a user can send with a report. The link calls a
// trace only when it was given one (none: no calls and no cost), and never
// asks it anything back.
//
// Each call carries the steady-clock time the event happened at. The calls
// of one port come in this order: PortOpened, then (when it opened)
// LineFormatSet, Sending with its WriteFailed, LineReceived and LineDown in
// the order they happen, and PortClosed; a port that could not be opened
// gets no PortClosed.
//
// Threads: LineReceived and LineDown come from the link's reader thread,
// every other call from the thread that uses the link, so two calls may run
// at once: an implementation must be safe for that. The reader reports a
// line before it hands it over, so that an answer is reported before
// anything its caller sends next; the time a call takes delays every answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/serial_port.h"

namespace qlr {

// The line settings the link sets: speed, data bits, parity, stop bits.
struct LineFormat {
  std::uint32_t baud = 0;
  std::uint8_t byteSize = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::Two;
};

class LineTrace {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~LineTrace() = default;

  // `device` was opened (sysErrno 0), or could not be opened, for that reason.
  virtual void PortOpened(Clock::time_point at, const std::string& device, int sysErrno) = 0;
  // The line was set to `format` (sysErrno 0), or the device refused it.
  virtual void LineFormatSet(Clock::time_point at, const LineFormat& format, int sysErrno) = 0;
  // `bytes` are about to be written; reported before the write, so that a
  // quick answer cannot come first.
  virtual void Sending(Clock::time_point at, std::string_view bytes) = 0;
  // The write reported by the latest Sending failed, for that reason; 0
  // when it did not finish in time.
  virtual void WriteFailed(Clock::time_point at, int sysErrno) = 0;
  // A complete line from the receiver, with its line end as received, also
  // one that nobody waits for. May hold any byte, NUL too.
  virtual void LineReceived(Clock::time_point at, std::string_view line) = 0;
  // The device reported an error or a hang-up: nothing more is received
  // until the port is opened again.
  virtual void LineDown(Clock::time_point at) = 0;
  // The port was released.
  virtual void PortClosed(Clock::time_point at) = 0;
};

}  // namespace qlr
