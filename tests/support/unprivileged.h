// Parts of a test run as an unprivileged user, for suites that run as root
// (as CI does): the permission checks root passes anyway show only there.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace qlr::testing {

// "nobody" and "nogroup" on Debian.
constexpr uid_t UnprivilegedId = 65534;
// The exit status of a child that could not drop its privileges.
constexpr int CannotDropPrivileges = 126;

// Becomes uid and gid 65534 with no supplementary groups, for good: for a
// child process after fork(). False if the process may not change its ids.
inline bool DropPrivileges() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(UnprivilegedId, UnprivilegedId, UnprivilegedId) == 0 &&
         ::setresuid(UnprivilegedId, UnprivilegedId, UnprivilegedId) == 0;
}

// Runs `body` in a forked child as that user and returns body's result
// (0..125), CannotDropPrivileges, or -1 when the child died or had not ended
// within `limit` (it is killed then). The child is a copy of one thread:
// `body` must not wait for anything another thread would do.
inline int RunUnprivileged(const std::function<int()>& body,
                           std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) ::_exit(DropPrivileges() ? body() : CannotDropPrivileges);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Why RunUnprivileged cannot serve this test run, or "" when it can; for
// GTEST_SKIP(). Files of another owner can only be made as root.
inline std::string WhyNotUnprivileged() {
  if (::geteuid() != 0) return "needs root to make files of another owner and then drop to uid 65534";
  static const bool dropped = RunUnprivileged([] { return 0; }) == 0;
  return dropped ? "" : "cannot drop to uid 65534 here (no CAP_SETUID or CAP_SETGID?)";
}

}  // namespace qlr::testing
