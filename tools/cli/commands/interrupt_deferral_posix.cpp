#include "cli/commands/interrupt_deferral.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <csignal>

namespace qlr::cli {
namespace {

constexpr std::array<int, 3> DeferredSignals = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t pendingSignal = 0;
// The first signal held back in this run, kept after its deferral ended.
int deferredSignal = 0;
std::array<struct sigaction, DeferredSignals.size()> previousActions{};
// Deferrals alive; the outermost installs and restores.
int depth = 0;

void NoteSignal(int number) {
  if (pendingSignal != 0) return;
  pendingSignal = number;
  static constexpr char Note[] = "\nqlr5500: letting the transfer finish, so that the receiver is not left half-way\n";
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, Note, sizeof Note - 1);
}

}  // namespace

InterruptDeferral::InterruptDeferral() {
  if (depth++ > 0) return;
  pendingSignal = 0;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // Restarted system calls keep the link's reads and waits going.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    ::sigaction(DeferredSignals[i], &action, &previousActions[i]);
    // A signal the caller ignores (nohup, a background job) stays ignored.
    if (previousActions[i].sa_handler == SIG_IGN) ::sigaction(DeferredSignals[i], &previousActions[i], nullptr);
  }
}

InterruptDeferral::~InterruptDeferral() {
  if (--depth > 0) return;
  for (std::size_t i = 0; i < DeferredSignals.size(); ++i) {
    ::sigaction(DeferredSignals[i], &previousActions[i], nullptr);
  }
  if (deferredSignal == 0) deferredSignal = pendingSignal;
  pendingSignal = 0;
}

bool InterruptDeferred() { return deferredSignal != 0; }

void EndAsInterrupted() {
  // Its default action, which the shell tells from an exit status; every port is closed by now.
  ::signal(deferredSignal, SIG_DFL);
  ::kill(::getpid(), deferredSignal);
  ::_exit(128 + deferredSignal);
}

}  // namespace qlr::cli
