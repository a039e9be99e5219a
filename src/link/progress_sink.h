// Receives the progress of an EEPROM transfer. The link calls it on the
// caller's thread: SetRange(0, 127) once the receiver has entered service
// mode, then SetPosition(address) after each address has been transferred.
#pragma once

namespace qlr {

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void SetRange(int lowest, int highest) = 0;
  virtual void SetPosition(int position) = 0;
};

}  // namespace qlr
