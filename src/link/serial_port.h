// The serial device behind the receiver link, as a small portable interface.
//
// One file per platform implements it (serial_port_posix.cpp with the
// pieces each POSIX system does its own way, serial_port_posix.h;
// serial_port_win32.cpp) and defines the platform state behind Impl; nothing
// above this layer sees a descriptor, a handle, termios or ioctl. A
// SerialPort owns its device: the destructor closes it and restores what
// Open changed.
//
// The calls that can fail return a SerialResult (os/result.h) that carries
// a SerialFailure. ReadByte is the exception: the reader thread needs only
// to know whether to go on, so it gets a ReadResult.
//
// Threads: one reader thread may sit in ReadByte while the owning thread
// writes, changes the line format or counts the queues. Close and
// WakeReader may be called from the owning thread at any time; everything
// else needs an open port and reports failure otherwise.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "os/result.h"

namespace qlr {

struct SystemCalls;  // POSIX only: system_calls_posix.h

enum class Parity : std::uint8_t { None, Odd, Even };
enum class StopBits : std::uint8_t { One, Two };

// Where and why a call of a SerialPort failed; the system's reason is kept
// so that a user-facing message can say what happened.
struct SerialFailure {
  const char* step = "";           // e.g. "open", "set line format", "write"; "" for no failure
  int sysErrno = 0;                // 0 when the failure was not an OS error (a time-out)
  std::uint32_t windowsError = 0;  // Windows: GetLastError(); sysErrno is then its nearest errno
};

template <typename Value = void>
using SerialResult = Result<Value, SerialFailure>;

// Bytes waiting in the driver's queues.
struct QueuedBytes {
  std::size_t input = 0;
  std::size_t output = 0;
};

class SerialPort {
 public:
  // `calls` lets tests make single system calls fail; null means the real
  // ones. Platforms without such a seam ignore it.
  explicit SerialPort(const SystemCalls* calls = nullptr);
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Opens an existing device for exclusive reading and writing. Fails for a
  // missing device, one without permission and one another program holds
  // (EBUSY; on Windows, where access denied on a COM port means just that).
  SerialResult<> Open(const std::string& device);
  // Puts the device's line settings and the flags Open changed back as Open
  // found them (sending nothing on the line) and releases it; harmless when
  // closed. Never blocks on the line. On POSIX a signal handler that ends
  // the process does the same through RestoreOpenSerialPorts
  // (found_settings_posix.h).
  void Close();
  bool IsOpen() const;
  // Whether the driver delivers each byte at once while the port is open
  // (asked for by Open, or already so); false where there is no such setting.
  bool LowLatencyGranted() const;
  const std::string& Device() const { return device_; }

  // Raw 8-bit transfer with the given speed, size, parity and stop bits, no
  // flow control of any kind, modem lines ignored for carrier, DTR on, RTS
  // off. Devices without modem lines (ptys) are not a failure.
  SerialResult<> SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits);

  // Bytes waiting in the driver's input and output queues.
  SerialResult<QueuedBytes> QueueCounts();
  // Discards whatever the driver holds in its input queue.
  SerialResult<> PurgeInput();

  // Writes all bytes, waiting at most `limit` for the driver to take them.
  // A time-out is a failure with sysErrno 0.
  SerialResult<> Write(const char* bytes, std::size_t length, std::chrono::milliseconds limit);

  enum class ReadResult {
    Byte,     // one byte was delivered
    Woken,    // WakeReader was called
    LineDown  // the device reported an error or a hang-up; reading is over
  };
  // Blocks in the kernel until a byte arrives or the reader is woken. Only
  // one thread may read.
  ReadResult ReadByte(std::uint8_t& byte);
  // Makes a blocked (or the next) ReadByte return Woken. Thread-safe.
  void WakeReader();

 private:
  struct Impl;  // the platform's state, defined beside the implementation

  std::unique_ptr<Impl> impl_;
  std::string device_;
};

}  // namespace qlr
