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

#include "os/unique_fd.h"

namespace qlr::testing {

// A terminal's whole settings as text (stty -g's fields), for comparing
// before and after; "" when `path` cannot be read as a terminal.
inline std::string SettingsOf(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  termios settings{};
  if (!fd || ::tcgetattr(fd.Get(), &settings) != 0) return "";
  std::string text = std::to_string(settings.c_iflag) + ":" + std::to_string(settings.c_oflag) + ":" +
                     std::to_string(settings.c_cflag) + ":" + std::to_string(settings.c_lflag) + ":" +
                     std::to_string(cfgetispeed(&settings)) + ":" + std::to_string(cfgetospeed(&settings));
  for (const cc_t c : settings.c_cc) text += ":" + std::to_string(c);
  return text;
}

class PtyPair {
 public:
  PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    const char* name = master_ && ::grantpt(Master()) == 0 && ::unlockpt(Master()) == 0 ? ::ptsname(Master()) : nullptr;
    if (name == nullptr) throw std::runtime_error("no pty");
    path_ = name;
    // Our own slave descriptor keeps the device alive across the client's close.
    slave_.Reset(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave_) throw std::runtime_error("no pty slave");
  }

  const std::string& Path() const { return path_; }
  int Master() const { return master_.Get(); }
  // The client's end, e.g. a program's standard input.
  int Slave() const { return slave_.Get(); }

  void Send(const std::string& bytes) const {
    [[maybe_unused]] const ssize_t written = ::write(Master(), bytes.data(), bytes.size());
  }

  // What the client wrote, collected until `limit` passes without a byte.
  std::string Receive(std::chrono::milliseconds limit = std::chrono::milliseconds(200)) const {
    std::string bytes;
    char buffer[256];
    pollfd ready{Master(), POLLIN, 0};
    while (::poll(&ready, 1, static_cast<int>(limit.count())) > 0 && (ready.revents & POLLIN)) {
      const ssize_t got = ::read(Master(), buffer, sizeof buffer);
      if (got <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
  }

  termios ClientSettings() const {
    termios settings{};
    ::tcgetattr(Master(), &settings);
    return settings;
  }

  // The far end goes away, as when an adapter is unplugged.
  void HangUp() {
    slave_.Reset();
    master_.Reset();
  }

 private:
  UniqueFd master_;
  UniqueFd slave_;
  std::string path_;
};

}  // namespace qlr::testing
