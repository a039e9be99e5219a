// A bare pseudo-terminal for tests that play the far end of the line by hand.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace qlr::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) throw std::runtime_error("no pty");
    path_ = ::ptsname(master_);
    // Our own slave descriptor keeps the device alive across the client's close.
    slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~PtyPair() { HangUp(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& Path() const { return path_; }
  int Master() const { return master_; }
  // The client's end, e.g. a program's standard input.
  int Slave() const { return slave_; }

  void Send(const std::string& bytes) const {
    [[maybe_unused]] const ssize_t written = ::write(master_, bytes.data(), bytes.size());
  }

  // What the client wrote, collected until `limit` passes without a byte.
  std::string Receive(std::chrono::milliseconds limit = std::chrono::milliseconds(200)) const {
    std::string bytes;
    char buffer[256];
    pollfd ready{master_, POLLIN, 0};
    while (::poll(&ready, 1, static_cast<int>(limit.count())) > 0 && (ready.revents & POLLIN)) {
      const ssize_t got = ::read(master_, buffer, sizeof buffer);
      if (got <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
  }

  termios ClientSettings() const {
    termios settings{};
    ::tcgetattr(master_, &settings);
    return settings;
  }

  // The far end goes away, as when an adapter is unplugged.
  void HangUp() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

}  // namespace qlr::testing
