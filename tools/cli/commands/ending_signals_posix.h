// A SIGINT, SIGTERM or SIGHUP that ends qlr5500 (outside a transfer, or
// held back by an InterruptDeferral until its end) first puts every serial
// port the program holds back as it was found; the default action then ends
// the process as before. Without it a scan cut short by Ctrl-C would leave a
// console or a modem at 9600 baud, raw.
#pragma once

#include <signal.h>

#include <array>

namespace qlr::cli {

// For the whole run: installs the handlers, restores the previous ones when
// it ends. A signal the caller ignores (nohup, a background job) stays ignored.
class PortsRestoredOnEndingSignal {
 public:
  PortsRestoredOnEndingSignal();
  ~PortsRestoredOnEndingSignal();
  PortsRestoredOnEndingSignal(const PortsRestoredOnEndingSignal&) = delete;
  PortsRestoredOnEndingSignal& operator=(const PortsRestoredOnEndingSignal&) = delete;

 private:
  std::array<struct sigaction, 3> previous_{};
};

}  // namespace qlr::cli
