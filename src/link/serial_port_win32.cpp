#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "link/serial_port.h"
#include "link/steady_deadline.h"
#include "os/nearest_errno.h"
#include "os/unique_handle.h"
#include "os/wide_string.h"

namespace qlr {
namespace {

constexpr DWORD QueueSize = 2048;

bool IsKnownSpeed(std::uint32_t baud) {
  switch (baud) {
    case 1200:
    case 2400:
    case 4800:
    case 9600:
    case 19200:
    case 38400:
    case 57600:
    case 115200: return true;
    default: return false;
  }
}

// A COM port that another program holds refuses a second opener as if
// access were denied: for a port, that means busy.
int PortErrno(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EBUSY : NearestErrno(error);
}

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

SerialFailure Fail(const char* step, int sysErrno) { return {step, sysErrno, 0}; }

SerialFailure FailWindows(const char* step, DWORD error) {
  return {step, PortErrno(error), static_cast<std::uint32_t>(error)};
}

}  // namespace

struct SerialPort::Impl {
  ReadResult Fill(DWORD length);

  UniqueHandle port;
  UniqueHandle stop;  // set by WakeReader; only Open makes a fresh one
  // One request per direction; each lives here until the driver completes it.
  UniqueHandle readDone;
  UniqueHandle writeDone;
  // As Open found the port, put back by Close.
  DCB foundState{};
  COMMTIMEOUTS foundTimeouts{};
  OVERLAPPED read{};
  OVERLAPPED write{};
  // Bytes taken from the driver, handed out one per ReadByte.
  std::array<std::uint8_t, QueueSize> received{};
  std::size_t next = 0;
  std::size_t end = 0;
};

// One overlapped read of `length` bytes into `received`, given up when the
// stop event is set.
SerialPort::ReadResult SerialPort::Impl::Fill(DWORD length) {
  next = end = 0;
  read = OVERLAPPED{};
  read.hEvent = readDone.Get();
  if (!::ReadFile(port.Get(), received.data(), length, nullptr, &read) && ::GetLastError() != ERROR_IO_PENDING) {
    return ReadResult::LineDown;
  }
  const HANDLE events[2] = {readDone.Get(), stop.Get()};
  const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (waited != WAIT_OBJECT_0) ::CancelIoEx(port.Get(), &read);
  DWORD got = 0;
  // Also waits out a cancellation: `received` and `read` are the driver's until then.
  if (::GetOverlappedResult(port.Get(), &read, &got, TRUE)) end = got;
  // Bytes that beat the wake-up are delivered; the stop event stays set for the next call.
  if (end > 0) return ReadResult::Byte;
  if (waited == WAIT_OBJECT_0 + 1) return ReadResult::Woken;
  // A hang-up (ERROR_BROKEN_PIPE), an abort that was not ours, any other
  // error, or an empty read that no time-out explains.
  return ReadResult::LineDown;
}

SerialPort::SerialPort(const SystemCalls*) : impl_(std::make_unique<Impl>()) {}

SerialPort::~SerialPort() { Close(); }

SerialResult<> SerialPort::Open(const std::string& device) {
  Close();
  UniqueHandle stop(NewEvent());
  UniqueHandle readDone(NewEvent());
  UniqueHandle writeDone(NewEvent());
  if (!stop || !readDone || !writeDone) return FailWindows("open", ::GetLastError());
  UniqueHandle port(::CreateFileW(Widen(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
  if (!port) return FailWindows("open", ::GetLastError());
  // Also refuses what is no serial port (a plain file, a printer).
  if (!::SetupComm(port.Get(), QueueSize, QueueSize)) return FailWindows("open", ::GetLastError());
  DCB foundState{};
  foundState.DCBlength = sizeof foundState;
  COMMTIMEOUTS foundTimeouts{};
  if (!::GetCommState(port.Get(), &foundState) || !::GetCommTimeouts(port.Get(), &foundTimeouts)) {
    return FailWindows("open", ::GetLastError());
  }
  // All zero: no time-outs, a read waits for its byte with no per-byte timer.
  COMMTIMEOUTS timeouts{};
  if (!::SetCommTimeouts(port.Get(), &timeouts)) return FailWindows("open", ::GetLastError());
  impl_->port = std::move(port);
  impl_->stop = std::move(stop);
  impl_->readDone = std::move(readDone);
  impl_->writeDone = std::move(writeDone);
  impl_->foundState = foundState;
  impl_->foundTimeouts = foundTimeouts;
  device_ = device;
  return {};
}

void SerialPort::Close() {
  if (impl_->port) {
    // Best effort: a port that went away cannot be given its settings back.
    ::SetCommState(impl_->port.Get(), &impl_->foundState);
    ::SetCommTimeouts(impl_->port.Get(), &impl_->foundTimeouts);
  }
  impl_->port.Reset();
  impl_->next = impl_->end = 0;
  impl_->stop.Reset();
  impl_->readDone.Reset();
  impl_->writeDone.Reset();
  device_.clear();
}

bool SerialPort::IsOpen() const { return static_cast<bool>(impl_->port); }

// Windows has no such request: an adapter's own latency setting decides.
bool SerialPort::LowLatencyGranted() const { return false; }

SerialResult<> SerialPort::SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits) {
  if (!impl_->port) return Fail("set line format", EBADF);
  if (!IsKnownSpeed(baud) || byteSize < 5 || byteSize > 8) return Fail("set line format", EINVAL);
  const HANDLE port = impl_->port.Get();
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(port, &dcb)) return FailWindows("read line format", ::GetLastError());
  dcb.BaudRate = baud;
  dcb.ByteSize = byteSize;
  dcb.Parity = parity == Parity::Odd ? ODDPARITY : parity == Parity::Even ? EVENPARITY : NOPARITY;
  dcb.fParity = parity != Parity::None;
  dcb.StopBits = stopBits == StopBits::Two ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  // Otherwise one framing error stops every read until ClearCommError.
  dcb.fAbortOnError = FALSE;
  if (!::SetCommState(port, &dcb)) return FailWindows("set line format", ::GetLastError());

  // Ports without modem lines (and Wine) refuse these; that is not a failure.
  ::EscapeCommFunction(port, SETDTR);
  ::EscapeCommFunction(port, CLRRTS);
  return {};
}

SerialResult<QueuedBytes> SerialPort::QueueCounts() {
  if (!impl_->port) return Fail("count queues", EBADF);
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(impl_->port.Get(), &errors, &status)) {
    return FailWindows("count queues", ::GetLastError());
  }
  return QueuedBytes{status.cbInQue, status.cbOutQue};
}

SerialResult<> SerialPort::PurgeInput() {
  if (!impl_->port) return Fail("purge input", EBADF);
  if (!::PurgeComm(impl_->port.Get(), PURGE_RXCLEAR)) return FailWindows("purge input", ::GetLastError());
  return {};
}

SerialResult<> SerialPort::Write(const char* bytes, std::size_t length, std::chrono::milliseconds limit) {
  if (!impl_->port) return Fail("write", EBADF);
  const HANDLE port = impl_->port.Get();
  OVERLAPPED& request = impl_->write;
  const SteadyDeadline deadline(limit);
  std::size_t done = 0;
  while (done < length) {
    request = OVERLAPPED{};
    request.hEvent = impl_->writeDone.Get();
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, MAXDWORD));
    if (!::WriteFile(port, bytes + done, chunk, nullptr, &request)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_IO_PENDING) return FailWindows("write", error);
    }
    DWORD written = 0;
    const DWORD waited = ::WaitForSingleObject(request.hEvent, static_cast<DWORD>(deadline.RemainingMilliseconds()));
    if (waited != WAIT_OBJECT_0) {
      ::CancelIoEx(port, &request);
      // The driver completes a cancelled request at once; until then it owns `request`.
      const bool completed = ::GetOverlappedResult(port, &request, &written, TRUE);
      if (!completed || done + written < length) return Fail("write", 0);
    } else if (!::GetOverlappedResult(port, &request, &written, FALSE)) {
      return FailWindows("write", ::GetLastError());
    }
    done += written;
    if (done < length && deadline.Expired()) return Fail("write", 0);
  }
  return {};
}

SerialPort::ReadResult SerialPort::ReadByte(std::uint8_t& byte) {
  if (!impl_->port) return ReadResult::LineDown;
  if (::WaitForSingleObject(impl_->stop.Get(), 0) == WAIT_OBJECT_0) return ReadResult::Woken;
  if (impl_->next == impl_->end) {
    // What the driver holds comes in one read, which completes at once; with
    // nothing there, the read waits for one byte. A purge in between only
    // delays the bytes until as many new ones have come.
    DWORD errors = 0;
    COMSTAT status{};
    const DWORD waiting = ::ClearCommError(impl_->port.Get(), &errors, &status) ? status.cbInQue : 0;
    const ReadResult filled = impl_->Fill(std::clamp<DWORD>(waiting, 1, QueueSize));
    if (filled != ReadResult::Byte) return filled;
  }
  byte = impl_->received[impl_->next++];
  return ReadResult::Byte;
}

void SerialPort::WakeReader() {
  if (impl_->stop) ::SetEvent(impl_->stop.Get());
}

}  // namespace qlr
