// ChangeView: what a change of the receiver's EEPROM asks of whoever runs it.
//
// The sequences of this folder (guarded_change.h, unguarded_write.h) reach
// their user only through this interface, as the dialog's actions reach the
// window through DialogView: the command line answers with prompts on the
// terminal, a progress bar and interrupts held back; another face (a window,
// a service) answers in its own way. Every call comes on the caller's
// thread and blocks until it is done.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "image/eeprom_image.h"
#include "link/link_failure.h"
#include "link/progress_sink.h"

namespace qlr {

// What a write is about to do, for its confirmation.
struct PlannedWrite {
  const std::string& what;     // "backup.bin", "the medium values", ...
  const std::string& device;   // the receiver's
  const EepromImage* current;  // the EEPROM as it was read; null when it was not read first
  const EepromImage& image;    // what it is to hold
  std::size_t changed;         // the bytes that change
};

// An undo of a change made on another receiver than this one.
struct OtherDevice {
  int undoneNumber = 0;
  const std::string& recordedDevice;  // the receiver the change was made on
  const std::string& device;          // this one
};

// An undo of a change made on a receiver of another region.
struct OtherRegion {
  int undoneNumber = 0;
  int recordedRegion = 0;  // the region of the receiver the change was made on
  int foundRegion = 0;     // the region of this one
  const std::string& device;
};

enum class TransferKind {
  Read,
  Write,
  ConfirmedWrite,  // a write that reads each old value again first
};

class ChangeView {
 public:
  virtual ~ChangeView() = default;

  // Whether to write: asked once, after the EEPROM was read and before
  // anything is kept or written. A view that refuses has told its user.
  virtual bool ConfirmWrite(const PlannedWrite& plan) = 0;
  // Whether to write the values of a change made on another receiver, or
  // on a receiver of another region, into this one. A view that refuses has
  // told its user.
  virtual bool ConfirmOtherDevice(const OtherDevice& mismatch) = 0;
  virtual bool ConfirmOtherRegion(const OtherRegion& mismatch) = 0;

  // The words for a failure of the link on `device` (port `port`), as the
  // history keeps them and the view's user reads them.
  virtual std::string DescribeFailure(const LinkFailure& failure, const std::string& device, int port) const = 0;

  // Runs one transfer with the receiver of `addresses` addresses: calls
  // `transfer` with the sink its progress is to go to (may be null) and
  // returns what it returned. A view may time it and hold interrupts back.
  virtual LinkResult<> RunTransfer(TransferKind kind, int addresses,
                                   const std::function<LinkResult<>(ProgressSink*)>& transfer) = 0;
  // Whether the user asked to stop while a transfer was let finish: no new
  // step begins, and what was done is told and recorded.
  virtual bool StopRequested() const = 0;

  // Runs `steps` that must not be cut apart: the backup kept, the write and
  // its outcome recorded. A view holds back meanwhile whatever would end the
  // program.
  virtual void RunUncut(const std::function<void()>& steps) = 0;
};

}  // namespace qlr
