// Runs the built qlr5500 as a child process, with every wait bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "support/unprivileged.h"

namespace qlr::testing {

struct ChildResult {
  int exitCode = -1;  // -1 when the child died of a signal or timed out
  int signal = 0;
  bool timedOut = false;
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // `input` goes to standard input, which is then closed; a `stdinFd` >= 0
  // (e.g. a pty slave) is used as standard input instead. An `unprivileged`
  // child runs as uid and gid 65534.
  explicit ChildProcess(const std::vector<std::string>& argv, const std::string& input = {}, int stdinFd = -1,
                        bool unprivileged = false) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<char*> args;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(stdinFd >= 0 ? stdinFd : in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      // The emulator's pty descriptors must not live on in the child.
      ::close_range(3, ~0U, 0);
      if (unprivileged && !DropPrivileges()) ::_exit(CannotDropPrivileges);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    // A short input fits in the pipe; nothing waits on the child here.
    [[maybe_unused]] const ssize_t written = ::write(in[1], input.data(), input.size());
    ::close(in[1]);
    outFd_ = out[0];
    errFd_ = err[0];
  }
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Collects the output until the child ends, killing it after `limit`.
  ChildResult Finish(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    ChildResult result;
    if (pid_ < 0) return result;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (outFd_ >= 0 || errFd_ >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        result.timedOut = true;
        ::kill(pid_, SIGKILL);
        break;
      }
      pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
      if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
      Drain(fds[0], outFd_, result.out);
      Drain(fds[1], errFd_, result.err);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    if (WIFEXITED(status) && !result.timedOut) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
  }

 private:
  static void Drain(const pollfd& ready, int& fd, std::string& into) {
    if (fd < 0 || ready.revents == 0) return;
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return;
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
    } else {
      ::close(fd);
      fd = -1;
    }
  }

  pid_t pid_ = -1;
  bool reaped_ = false;
  int outFd_ = -1;
  int errFd_ = -1;
};

inline ChildResult RunChild(const std::vector<std::string>& argv, const std::string& input = {}) {
  return ChildProcess(argv, input).Finish();
}

}  // namespace qlr::testing
