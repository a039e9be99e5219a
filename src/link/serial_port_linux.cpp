// Linux's side of the POSIX serial layer: an eventfd wakes the reader, and
// the serial driver's ASYNC_LOW_LATENCY flag asks for prompt delivery.
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>

#include "link/serial_port_posix.h"

namespace qlr {

bool ReaderWake::Open() {
  watched_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  return static_cast<bool>(watched_);
}

void ReaderWake::Close() { watched_.Reset(); }

void ReaderWake::Signal() const {
  if (!watched_) return;
  const std::uint64_t one = 1;
  // A full counter (never reached) would still leave the descriptor readable.
  [[maybe_unused]] const ssize_t ignored = ::write(watched_.Get(), &one, sizeof one);
}

// Without low latency a common USB adapter holds each short answer for its
// 16 ms latency timer, which makes an exchange of short messages several
// times slower.
void LowLatency::Apply(const SystemCalls& calls, int fd) {
  granted_ = false;
  serial_struct serial{};
  if (calls.ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  granted_ = (serial.flags & ASYNC_LOW_LATENCY) != 0;
  if (granted_) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  changed_ = calls.ioctl(fd, TIOCSSERIAL, &serial) == 0;
  granted_ = changed_;
}

void LowLatency::Restore(const SystemCalls& calls, int fd) {
  granted_ = false;
  if (!changed_) return;
  changed_ = false;
  Clear(calls, fd);
}

void LowLatency::Clear(const SystemCalls& calls, int fd) {
  serial_struct serial{};
  if (calls.ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
  serial.flags &= ~ASYNC_LOW_LATENCY;
  calls.ioctl(fd, TIOCSSERIAL, &serial);
}

}  // namespace qlr
