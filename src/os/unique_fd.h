// The one owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>

#include <utility>

namespace qlr {

// Owns a file descriptor (or none, -1) and closes it once, in the destructor
// or in Reset. close() is never retried: after EINTR the descriptor is gone
// on Linux, and a retry could close one that another thread was just given.
// Move-only; Release hands the descriptor over without closing it.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }

  int Release() noexcept { return std::exchange(fd_, -1); }

  // Closes the descriptor held so far (if any) and takes `fd`.
  void Reset(int fd = -1) noexcept {
    const int old = std::exchange(fd_, fd);
    if (old >= 0) ::close(old);
  }

 private:
  int fd_ = -1;
};

}  // namespace qlr
