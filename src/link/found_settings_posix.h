// How Open found a serial device, kept until Close puts it back, and kept
// where RestoreOpenSerialPorts can reach it when a signal ends the process
// before Close runs: a console or a modem left at 9600 raw would stay so.
#pragma once

#include <termios.h>

#include "link/system_calls_posix.h"

namespace qlr {

class FoundSettings {
 public:
  FoundSettings() = default;
  ~FoundSettings() { Forget(); }
  FoundSettings(const FoundSettings&) = delete;
  FoundSettings& operator=(const FoundSettings&) = delete;

  // Reads the device's line settings as they are now; false with errno set
  // for a device that has none (no terminal), which is then left as it is.
  bool Keep(const SystemCalls& calls, int fd);
  // Whether the low-latency flag is ours to clear, for the signal path.
  void NoteLowLatencySet(bool set);
  // Puts the line settings back and forgets them; harmless when none are kept.
  void PutBack(const SystemCalls& calls);

 private:
  void Forget();

  int fd_ = -1;
  termios settings_{};
  int slot_ = -1;  // in the table the signal path reads; -1 when it was full
};

// Puts back what every FoundSettings keeps, with the real system calls: the
// line settings, the low-latency flag we set and the exclusive flag.
// Async-signal-safe: for a handler that is about to end the process.
void RestoreOpenSerialPorts();

}  // namespace qlr
