// Holds back Ctrl-C (SIGINT), SIGTERM and SIGHUP while a transfer runs (on
// Windows Ctrl-C, Ctrl-Break and closing the console).
//
// A transfer that stops half-way leaves the receiver in service mode at
// 38400 baud, and a write leaves the EEPROM partly written. Every wait of the
// link is bounded, so letting the transfer end costs at most a few seconds.
// While an object lives, these signals only print a note; its destructor
// restores the previous handling and delivers a signal that came meanwhile,
// which normally ends the process. One made while another lives changes
// nothing: the outermost holds the signals back until it ends.
#pragma once

namespace qlr::cli {

class InterruptDeferral {
 public:
  InterruptDeferral();
  ~InterruptDeferral();
  InterruptDeferral(const InterruptDeferral&) = delete;
  InterruptDeferral& operator=(const InterruptDeferral&) = delete;
};

}  // namespace qlr::cli
