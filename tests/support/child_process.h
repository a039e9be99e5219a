// A program run as a child process, for tests of whole programs: its
// output captured, its life bounded by a time limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "os/unique_fd.h"
#include "support/unprivileged.h"

namespace qlr::testing {

struct ChildOptions {
  // Variables set for the child; one without a value is removed.
  std::vector<std::pair<std::string, std::optional<std::string>>> environment{};
  std::filesystem::path workingDirectory{};  // empty: the test's own
  // Goes to standard input, which is then closed; an `inputFd` >= 0 (e.g. a
  // terminal) is standard input instead.
  std::string input{};
  int inputFd = -1;
  bool unprivileged = false;  // runs as uid and gid 65534
  // From the start; the child is killed when it has not ended by then.
  std::chrono::milliseconds limit = std::chrono::seconds(30);
};

struct ChildResult {
  int exitCode = -1;  // -1 when the child died of a signal or timed out
  int signal = 0;
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Both ends of a pipe, neither inherited by a program the child execs.
struct Pipe {
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
  }
  explicit operator bool() const { return readEnd && writeEnd; }

  UniqueFd readEnd;
  UniqueFd writeEnd;
};

// A short input fits in the pipe, so nothing waits on the child here. A
// child that ends without reading it (a refusal) must not take the test
// down with SIGPIPE: the signal is held back for this thread and taken.
inline void WriteInput(int fd, const std::string& input) {
  if (input.empty()) return;
  sigset_t pipe{};
  sigset_t previous{};
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &pipe, &previous);
  const ssize_t written = ::write(fd, input.data(), input.size());
  if (written < 0 && errno == EPIPE) {
    const timespec none{};
    ::sigtimedwait(&pipe, nullptr, &none);
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

class ChildProcess {
 public:
  // argv[0] is looked up in PATH when it has no slash ("wine").
  explicit ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options = {})
      : deadline_(std::chrono::steady_clock::now() + options.limit) {
    Pipe in, out, err;
    if (!in || !out || !err) return;
    std::vector<char*> args;
    for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
    args.push_back(nullptr);
    // Built before fork(): the child of a threaded process may only exec.
    const std::vector<std::string> variables = Environment(options.environment);
    std::vector<char*> envp;
    for (const std::string& variable : variables) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    const std::string directory = options.workingDirectory.string();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(options.inputFd >= 0 ? options.inputFd : in.readEnd.Get(), STDIN_FILENO);
      ::dup2(out.writeEnd.Get(), STDOUT_FILENO);
      ::dup2(err.writeEnd.Get(), STDERR_FILENO);
      // The emulator's pty descriptors must not live on in the child.
      ::close_range(3, ~0U, 0);
      if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(127);
      if (options.unprivileged && !DropPrivileges()) ::_exit(CannotDropPrivileges);
      ::execvpe(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    // No child: nothing would ever read the input (a write would raise SIGPIPE).
    if (pid_ < 0) return;
    // The child's ends are its own now: the output pipes end when it does.
    in.readEnd.Reset();
    out.writeEnd.Reset();
    err.writeEnd.Reset();
    WriteInput(in.writeEnd.Get(), options.input);
    in.writeEnd.Reset();
    outFd_ = std::move(out.readEnd);
    errFd_ = std::move(err.readEnd);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Collects the output until the child ends, or kills it at its time limit.
  // What a process the child started writes after the child's end is not
  // waited for (it may hold the pipes open for long).
  ChildResult Finish() {
    ChildResult result;
    if (pid_ < 0) return result;
    int status = 0;
    bool ended = false;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        result.timedOut = true;
        ::kill(pid_, SIGKILL);
        ended = ::waitpid(pid_, &status, 0) == pid_;
        break;
      }
      // Looked for before each read: what the child wrote last is in the pipes by then.
      if (!ended) {
        const pid_t reaped = ::waitpid(pid_, &status, WNOHANG);
        if (reaped < 0 && errno != EINTR) break;
        ended = reaped == pid_;
      }
      pollfd fds[2] = {{outFd_.Get(), POLLIN, 0}, {errFd_.Get(), POLLIN, 0}};
      const int ready = ::poll(fds, 2, ended ? 0 : static_cast<int>(std::min<long>(left.count(), 20)));
      if (ready < 0) continue;
      if (ready == 0 && ended) break;
      Drain(fds[0], outFd_, result.out);
      Drain(fds[1], errFd_, result.err);
    }
    reaped_ = true;
    if (!ended) return result;
    if (WIFEXITED(status) && !result.timedOut) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
  }

 private:
  // This process's environment with the changes applied, as "NAME=value".
  static std::vector<std::string> Environment(
      const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string variable = *entry;
      bool changed = false;
      for (const auto& [name, value] : changes) changed = changed || variable.starts_with(name + "=");
      if (!changed) variables.push_back(variable);
    }
    for (const auto& [name, value] : changes) {
      if (value) variables.push_back(name + "=" + *value);
    }
    return variables;
  }

  static void Drain(const pollfd& ready, UniqueFd& fd, std::string& into) {
    if (!fd || ready.revents == 0) return;
    char buffer[4096];
    const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return;
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
    } else {
      fd.Reset();
    }
  }

  std::chrono::steady_clock::time_point deadline_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  UniqueFd outFd_;
  UniqueFd errFd_;
};

inline ChildResult RunChild(const std::vector<std::string>& argv, const ChildOptions& options = {}) {
  return ChildProcess(argv, options).Finish();
}

}  // namespace qlr::testing
