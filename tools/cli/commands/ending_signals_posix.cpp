#include "cli/commands/ending_signals_posix.h"

#include "link/found_settings_posix.h"

namespace qlr::cli {
namespace {

constexpr std::array<int, 3> EndingSignals = {SIGINT, SIGTERM, SIGHUP};

// SA_RESETHAND has put the default action back: the signal raised here is
// taken when the handler returns and ends the process as it would have.
void RestorePortsAndEnd(int number) {
  RestoreOpenSerialPorts();
  ::raise(number);
}

}  // namespace

PortsRestoredOnEndingSignal::PortsRestoredOnEndingSignal() {
  struct sigaction action {};
  action.sa_handler = RestorePortsAndEnd;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  for (std::size_t i = 0; i < EndingSignals.size(); ++i) {
    ::sigaction(EndingSignals[i], &action, &previous_[i]);
    if (previous_[i].sa_handler == SIG_IGN) ::sigaction(EndingSignals[i], &previous_[i], nullptr);
  }
}

PortsRestoredOnEndingSignal::~PortsRestoredOnEndingSignal() {
  for (std::size_t i = 0; i < EndingSignals.size(); ++i) ::sigaction(EndingSignals[i], &previous_[i], nullptr);
}

}  // namespace qlr::cli
