// What the POSIX serial layer (serial_port_posix.cpp) leaves to each POSIX
// system: how a reader blocked in poll() is woken, and the driver's
// low-latency delivery. One file per system defines them
// (serial_port_linux.cpp); a new system adds its own file with these two.
#pragma once

#include "link/system_calls_posix.h"
#include "os/unique_fd.h"

namespace qlr {

// A descriptor for poll() that turns readable once Signal() is called and
// stays so until Close().
class ReaderWake {
 public:
  // A fresh wake that is not signalled; false with errno set when the
  // system refuses.
  bool Open();
  void Close();
  // What poll() watches for POLLIN.
  int Watched() const { return watched_.Get(); }
  // Thread-safe; does nothing when closed.
  void Signal() const;

 private:
  UniqueFd watched_;
};

// Asks the driver to hand over each byte at once instead of holding short
// answers in the adapter, while the port is open. Best effort: a driver (or
// a pty) that refuses is no failure.
class LowLatency {
 public:
  void Apply(const SystemCalls& calls, int fd);
  // Gives back the setting Apply changed, if it changed one.
  void Restore(const SystemCalls& calls, int fd);
  // Whether the driver delivers at once since Apply, by our request or its own setting.
  bool Granted() const { return granted_; }
  // Whether Apply set the flag, so that Restore clears it.
  bool Changed() const { return changed_; }
  // Clears the flag on the device. Async-signal-safe with the real calls.
  static void Clear(const SystemCalls& calls, int fd);

 private:
  bool granted_ = false;
  bool changed_ = false;  // Apply set the flag, so Restore clears it
};

}  // namespace qlr
