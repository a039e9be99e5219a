// Holds back Ctrl-C (SIGINT), SIGTERM and SIGHUP while a transfer runs (on
// Windows Ctrl-C, Ctrl-Break and closing the console).
//
// A transfer that stops half-way leaves the receiver in service mode at
// 38400 baud, and a write leaves the EEPROM partly written. Every wait of the
// link is bounded, so letting the transfer end costs at most a few seconds.
// While an object lives, these signals only print a note; its destructor
// restores the previous handling. A signal that came meanwhile is kept: the
// command begins no new step, tells how what it did ended and records it,
// and the program then ends as the signal would have ended it
// (EndAsInterrupted). One made while another lives changes nothing: the
// outermost holds the signals back until it ends.
#pragma once

namespace qlr::cli {

class InterruptDeferral {
 public:
  InterruptDeferral();
  ~InterruptDeferral();
  InterruptDeferral(const InterruptDeferral&) = delete;
  InterruptDeferral& operator=(const InterruptDeferral&) = delete;
};

// Whether a signal came while one was held back, in this run.
bool InterruptDeferred();

// Ends the process as the signal held back would have ended it (POSIX: the
// signal again, under its former handling; Windows: the exit status of
// Ctrl-C). Only main calls it, after the command has said what it did.
[[noreturn]] void EndAsInterrupted();

}  // namespace qlr::cli
