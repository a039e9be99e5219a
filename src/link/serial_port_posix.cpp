// The serial layer on any POSIX system: termios, poll and the ioctls every
// one of them has. What each system does its own way is in serial_port_posix.h.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "link/found_settings_posix.h"
#include "link/serial_port.h"
#include "link/serial_port_posix.h"
#include "link/steady_deadline.h"
#include "os/unique_fd.h"

namespace qlr {
namespace {

int RealOpen(const char* path, int flags) { return ::open(path, flags); }
int RealIoctl(int fd, unsigned long request, void* argument) { return ::ioctl(fd, request, argument); }

bool SpeedCode(std::uint32_t baud, speed_t& code) {
  switch (baud) {
    case 1200: code = B1200; return true;
    case 2400: code = B2400; return true;
    case 4800: code = B4800; return true;
    case 9600: code = B9600; return true;
    case 19200: code = B19200; return true;
    case 38400: code = B38400; return true;
    case 57600: code = B57600; return true;
    case 115200: code = B115200; return true;
    default: return false;
  }
}

bool SizeFlag(std::uint8_t byteSize, tcflag_t& flag) {
  switch (byteSize) {
    case 5: flag = CS5; return true;
    case 6: flag = CS6; return true;
    case 7: flag = CS7; return true;
    case 8: flag = CS8; return true;
    default: return false;
  }
}

SerialFailure Fail(const char* step, int sysErrno) { return {step, sysErrno, 0}; }

}  // namespace

const SystemCalls& SystemCalls::Real() {
  static const SystemCalls real{RealOpen, RealIoctl, ::tcgetattr, ::tcsetattr, ::tcflush};
  return real;
}

struct SerialPort::Impl {
  explicit Impl(const SystemCalls& systemCalls) : calls(systemCalls) {}

  const SystemCalls& calls;
  UniqueFd fd;
  ReaderWake wake;
  LowLatency lowLatency;
  FoundSettings found;
};

SerialPort::SerialPort(const SystemCalls* calls)
    : impl_(std::make_unique<Impl>(calls ? *calls : SystemCalls::Real())) {}

SerialPort::~SerialPort() { Close(); }

SerialResult<> SerialPort::Open(const std::string& device) {
  Close();
  ReaderWake wake;
  if (!wake.Open()) return Fail("open", errno);
  // Non-blocking so that neither a missing carrier nor a full output queue can
  // block us: the reader waits in poll, the writer in poll with a limit.
  UniqueFd fd(impl_->calls.open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return Fail("open", errno);
  // The lock that other serial programs honour keeps out root too, who
  // ignores TIOCEXCL; take it first so that a busy device keeps its flags.
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return Fail("open", errno == EWOULDBLOCK ? EBUSY : errno);
  if (impl_->calls.ioctl(fd.Get(), TIOCEXCL, nullptr) != 0) return Fail("open", errno);
  impl_->fd = std::move(fd);
  impl_->wake = std::move(wake);
  device_ = device;
  // A device without line settings fails at SetLineFormat, as before.
  static_cast<void>(impl_->found.Keep(impl_->calls, impl_->fd.Get()));
  impl_->lowLatency.Apply(impl_->calls, impl_->fd.Get());
  impl_->found.NoteLowLatencySet(impl_->lowLatency.Changed());
  return {};
}

void SerialPort::Close() {
  if (impl_->fd) {
    impl_->lowLatency.Restore(impl_->calls, impl_->fd.Get());
    impl_->found.PutBack(impl_->calls);
    // The exclusive flag outlives close() on some devices: clear it so that
    // we can open our own port again.
    impl_->calls.ioctl(impl_->fd.Get(), TIOCNXCL, nullptr);
    impl_->fd.Reset();
  }
  impl_->wake.Close();
  device_.clear();
}

bool SerialPort::IsOpen() const { return static_cast<bool>(impl_->fd); }

bool SerialPort::LowLatencyGranted() const { return impl_->fd && impl_->lowLatency.Granted(); }

SerialResult<> SerialPort::SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits) {
  if (!impl_->fd) return Fail("set line format", EBADF);
  const SystemCalls& calls = impl_->calls;
  const int fd = impl_->fd.Get();
  speed_t speed{};
  tcflag_t sizeFlag{};
  if (!SpeedCode(baud, speed) || !SizeFlag(byteSize, sizeFlag)) return Fail("set line format", EINVAL);
  termios settings{};
  if (calls.tcgetattr(fd, &settings) != 0) return Fail("read line format", errno);

  settings.c_iflag &=
      ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  settings.c_cflag |= sizeFlag | CREAD | CLOCAL;
  if (parity != Parity::None) settings.c_cflag |= PARENB | INPCK;
  if (parity == Parity::Odd) settings.c_cflag |= PARODD;
  if (stopBits == StopBits::Two) settings.c_cflag |= CSTOPB;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  cfsetispeed(&settings, speed);
  cfsetospeed(&settings, speed);
  if (calls.tcsetattr(fd, TCSANOW, &settings) != 0) return Fail("set line format", errno);

  // Devices without modem lines (ptys) refuse these; that is not a failure.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  calls.ioctl(fd, TIOCMBIS, &dtr);
  calls.ioctl(fd, TIOCMBIC, &rts);
  return {};
}

SerialResult<QueuedBytes> SerialPort::QueueCounts() {
  if (!impl_->fd) return Fail("count queues", EBADF);
  const SystemCalls& calls = impl_->calls;
  const int fd = impl_->fd.Get();
  int waitingIn = 0;
  int waitingOut = 0;
  // FIONREAD rather than its Linux alias TIOCINQ, which other systems lack.
  if (calls.ioctl(fd, FIONREAD, &waitingIn) != 0) return Fail("count queues", errno);
  if (calls.ioctl(fd, TIOCOUTQ, &waitingOut) != 0) return Fail("count queues", errno);
  return QueuedBytes{static_cast<std::size_t>(waitingIn), static_cast<std::size_t>(waitingOut)};
}

SerialResult<> SerialPort::PurgeInput() {
  if (!impl_->fd) return Fail("purge input", EBADF);
  if (impl_->calls.tcflush(impl_->fd.Get(), TCIFLUSH) != 0) return Fail("purge input", errno);
  return {};
}

SerialResult<> SerialPort::Write(const char* bytes, std::size_t length, std::chrono::milliseconds limit) {
  if (!impl_->fd) return Fail("write", EBADF);
  const int fd = impl_->fd.Get();
  const SteadyDeadline deadline(limit);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t written = ::write(fd, bytes + done, length - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return Fail("write", errno);
    if (deadline.Expired()) return Fail("write", 0);
    pollfd ready{fd, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, deadline.RemainingMilliseconds());
    if (polled < 0 && errno != EINTR) return Fail("write", errno);
    if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL))) return Fail("write", EIO);
  }
  return {};
}

SerialPort::ReadResult SerialPort::ReadByte(std::uint8_t& byte) {
  if (!impl_->fd) return ReadResult::LineDown;
  const int fd = impl_->fd.Get();
  pollfd watched[2] = {{impl_->wake.Watched(), POLLIN, 0}, {fd, POLLIN, 0}};
  while (true) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return ReadResult::LineDown;
    }
    if (watched[0].revents != 0) return ReadResult::Woken;
    const short events = watched[1].revents;
    if (events & POLLIN) {
      const ssize_t got = ::read(fd, &byte, 1);
      if (got == 1) return ReadResult::Byte;
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      // A hung-up device reads as EIO once and as 0 ever after.
      return ReadResult::LineDown;
    }
    if (events & (POLLERR | POLLHUP | POLLNVAL)) return ReadResult::LineDown;
  }
}

void SerialPort::WakeReader() { impl_->wake.Signal(); }

}  // namespace qlr
