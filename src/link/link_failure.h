// Why an operation of the receiver link failed, as a closed set of kinds.
//
// The link's operations return a LinkResult (os/result.h), which carries a
// LinkFailure when they fail. Callers decide what to say or do from the kind
// alone: the error number and the step text are for messages, never to be
// parsed. Every platform's serial layer ends in the same kinds.
#pragma once

#include <string>

#include "os/result.h"

namespace qlr {

enum class LinkFailureKind {
  None,                 // nothing failed: the Failure() of a successful result
  NoDevice,             // no device behind the port number, or the device is gone
  PermissionDenied,     // this user may not open the device
  Busy,                 // another program holds the device
  NotSerial,            // the device is no serial device (no line settings)
  LineDown,             // the device reported an input/output error: unplugged, most likely
  SystemError,          // any other refusal of the system (open, thread start); sysErrno says which
  BadRequest,           // the caller's mistake: port number 0, or no port open
  LineSettingsRefused,  // the driver refused the line format or the purge
  WriteFailed,          // the driver refused a write; sysErrno says why
  WriteTimedOut,        // the driver did not take a write within 500 ms
  NoAnswer,             // no matching answer line within 500 ms
  WrongAnswer,          // an answer other than the one expected, or a value that is no number
  ValueNotKept,         // an address read back other than the value just written into it
  ValueChanged,         // an address to be written held, read twice, another value than the caller read before
  NoReceiver,           // FindReceiver: no port had a receiver that answered
};

struct LinkFailure {
  LinkFailureKind kind = LinkFailureKind::None;
  std::string command;  // the command concerned without its CR LF, e.g. "G300"; empty for none
  int sysErrno = 0;     // the operating system's reason, 0 where there is none
  // A transfer that failed after the receiver had confirmed service mode:
  // the receiver may still be in it, at 38400 baud.
  bool enteredServiceMode = false;
  int addressesDone = 0;  // a transfer's addresses done (a write's: written and verified)
  std::string step;       // what was being done, for messages only, e.g. "open /dev/ttyUSB0"
  // A write command went out: the address it failed at may hold a new value.
  bool beganWriting = false;
};

// What the link's operations return; QueryRegion's holds the region code.
template <typename Value = void>
using LinkResult = Result<Value, LinkFailure>;

// The kind an error number of the system stands for; `otherwise` for a
// number outside the kinds above (and for 0).
LinkFailureKind KindOfSystemError(int sysErrno, LinkFailureKind otherwise);

}  // namespace qlr
