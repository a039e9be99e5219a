// Ctrl-C, Ctrl-Break and closing the console window, held back through a
// console control handler. Windows ends the process once the handler of a
// close returns (or after a few seconds), so that handler waits for the
// transfer to end.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "cli/commands/interrupt_deferral.h"
#include "os/unique_handle.h"

namespace qlr::cli {
namespace {

// What the default handling of Ctrl-C ends a console program with.
constexpr UINT InterruptedExitCode = 0xC000013A;
constexpr DWORD CloseWaitMilliseconds = 10000;

std::atomic<bool> eventPending{false};
// An event held back in this run, kept after its deferral ended.
bool eventDeferred = false;
// Set when the deferral ends; a close handler waits for it.
UniqueHandle deferralOver;
// Deferrals alive; the outermost installs and restores.
int depth = 0;

BOOL WINAPI NoteEvent(DWORD event) {
  if (!eventPending.exchange(true)) {
    static constexpr char Note[] =
        "\nqlr5500: letting the transfer finish, so that the receiver is not left half-way\n";
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), Note, sizeof Note - 1, &written, nullptr);
  }
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::WaitForSingleObject(deferralOver.Get(), CloseWaitMilliseconds);
  }
  return TRUE;
}

}  // namespace

InterruptDeferral::InterruptDeferral() {
  if (depth++ > 0) return;
  eventPending = false;
  deferralOver.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ::SetConsoleCtrlHandler(NoteEvent, TRUE);
}

InterruptDeferral::~InterruptDeferral() {
  if (--depth > 0) return;
  ::SetConsoleCtrlHandler(NoteEvent, FALSE);
  ::SetEvent(deferralOver.Get());
  eventDeferred = eventPending.exchange(false) || eventDeferred;
  deferralOver.Reset();
}

bool InterruptDeferred() { return eventDeferred; }

void EndAsInterrupted() {
  std::fflush(nullptr);
  ::ExitProcess(InterruptedExitCode);
}

}  // namespace qlr::cli
