#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "link/serial_port.h"
#include "link/steady_deadline.h"
#include "link/system_calls.h"

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

}  // namespace

const SystemCalls& SystemCalls::Real() {
  static const SystemCalls real{RealOpen, ::close, RealIoctl, ::tcgetattr, ::tcsetattr, ::tcflush};
  return real;
}

SerialPort::SerialPort(const SystemCalls* calls) : calls_(calls ? *calls : SystemCalls::Real()) {}

SerialPort::~SerialPort() { Close(); }

bool SerialPort::Fail(const char* step, int sysErrno) {
  failure_ = {step, sysErrno};
  return false;
}

bool SerialPort::Open(const std::string& device) {
  Close();
  failure_ = {};
  // Non-blocking so that neither a missing carrier nor a full output queue can
  // block us: the reader waits in poll, the writer in poll with a limit.
  const int fd = calls_.open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail("open", errno);
  // The lock that other serial programs honour keeps out root too, who
  // ignores TIOCEXCL; take it first so that a busy device keeps its flags.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    calls_.close(fd);
    return Fail("open", error);
  }
  if (calls_.ioctl(fd, TIOCEXCL, nullptr) != 0) {
    const int error = errno;
    calls_.close(fd);
    return Fail("open", error);
  }
  const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    const int error = errno;
    calls_.ioctl(fd, TIOCNXCL, nullptr);
    calls_.close(fd);
    return Fail("open", error);
  }
  fd_ = fd;
  wakeFd_ = wakeFd;
  device_ = device;
  ApplyLowLatency();
  return true;
}

void SerialPort::Close() {
  if (fd_ >= 0) {
    RestoreLowLatency();
    // The exclusive flag outlives close() on some devices: clear it so that
    // we can open our own port again.
    calls_.ioctl(fd_, TIOCNXCL, nullptr);
    calls_.close(fd_);  // never retried on EINTR: the descriptor is gone either way
    fd_ = -1;
  }
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
    wakeFd_ = -1;
  }
  device_.clear();
}

bool SerialPort::IsOpen() const { return fd_ >= 0; }

// Without low latency a common USB adapter holds each short answer for its
// 16 ms latency timer, which triples the time of an EEPROM transfer.
void SerialPort::ApplyLowLatency() {
  serial_struct serial{};
  if (calls_.ioctl(fd_, TIOCGSERIAL, &serial) != 0) return;
  if (serial.flags & ASYNC_LOW_LATENCY) return;
  savedSerialFlags_ = serial.flags;
  serial.flags |= ASYNC_LOW_LATENCY;
  lowLatencyChanged_ = calls_.ioctl(fd_, TIOCSSERIAL, &serial) == 0;
}

void SerialPort::RestoreLowLatency() {
  if (!lowLatencyChanged_) return;
  lowLatencyChanged_ = false;
  serial_struct serial{};
  if (calls_.ioctl(fd_, TIOCGSERIAL, &serial) != 0) return;
  serial.flags = (serial.flags & ~ASYNC_LOW_LATENCY) | (savedSerialFlags_ & ASYNC_LOW_LATENCY);
  calls_.ioctl(fd_, TIOCSSERIAL, &serial);
}

bool SerialPort::SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits) {
  if (fd_ < 0) return Fail("set line format", EBADF);
  speed_t speed{};
  tcflag_t sizeFlag{};
  if (!SpeedCode(baud, speed) || !SizeFlag(byteSize, sizeFlag)) return Fail("set line format", EINVAL);
  termios settings{};
  if (calls_.tcgetattr(fd_, &settings) != 0) return Fail("read line format", errno);

  settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                             IXOFF | IXANY | INPCK);
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
  if (calls_.tcsetattr(fd_, TCSANOW, &settings) != 0) return Fail("set line format", errno);

  // Devices without modem lines (ptys) refuse these; that is not a failure.
  int dtr = TIOCM_DTR;
  int rts = TIOCM_RTS;
  calls_.ioctl(fd_, TIOCMBIS, &dtr);
  calls_.ioctl(fd_, TIOCMBIC, &rts);
  return true;
}

bool SerialPort::QueueCounts(std::size_t& input, std::size_t& output) {
  if (fd_ < 0) return Fail("count queues", EBADF);
  int waitingIn = 0;
  int waitingOut = 0;
  if (calls_.ioctl(fd_, TIOCINQ, &waitingIn) != 0) return Fail("count queues", errno);
  if (calls_.ioctl(fd_, TIOCOUTQ, &waitingOut) != 0) return Fail("count queues", errno);
  input = static_cast<std::size_t>(waitingIn);
  output = static_cast<std::size_t>(waitingOut);
  return true;
}

bool SerialPort::PurgeInput() {
  if (fd_ < 0) return Fail("purge input", EBADF);
  if (calls_.tcflush(fd_, TCIFLUSH) != 0) return Fail("purge input", errno);
  return true;
}

bool SerialPort::Write(const char* bytes, std::size_t length, std::chrono::milliseconds limit) {
  if (fd_ < 0) return Fail("write", EBADF);
  const SteadyDeadline deadline(limit);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t written = ::write(fd_, bytes + done, length - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno != EAGAIN && errno != EINTR) return Fail("write", errno);
    if (deadline.Expired()) return Fail("write", 0);
    pollfd ready{fd_, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, deadline.RemainingMilliseconds());
    if (polled < 0 && errno != EINTR) return Fail("write", errno);
    if (polled > 0 && (ready.revents & (POLLERR | POLLHUP | POLLNVAL))) return Fail("write", EIO);
  }
  return true;
}

SerialPort::ReadResult SerialPort::ReadByte(std::uint8_t& byte) {
  if (fd_ < 0) return ReadResult::LineDown;
  pollfd watched[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
  while (true) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return ReadResult::LineDown;
    }
    if (watched[0].revents != 0) return ReadResult::Woken;
    const short events = watched[1].revents;
    if (events & POLLIN) {
      const ssize_t got = ::read(fd_, &byte, 1);
      if (got == 1) return ReadResult::Byte;
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      // A hung-up device reads as EIO once and as 0 ever after.
      return ReadResult::LineDown;
    }
    if (events & (POLLERR | POLLHUP | POLLNVAL)) return ReadResult::LineDown;
  }
}

void SerialPort::WakeReader() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  // A full counter (never reached) would still leave the descriptor readable.
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

}  // namespace qlr
