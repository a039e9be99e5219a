// What a change does after a transfer that failed in service mode.
#pragma once

#include "link/receiver_link.h"

namespace qlr {

// Runs the exit sequence after `transfer` (of `addresses` addresses) failed
// in service mode, but not after a failure of the exit sequence itself nor
// on a link a failed write closed: a receiver that still listens is then back
// in normal operation. The dialog never does this: it keeps its own steps.
inline void LeaveServiceModeAfter(const LinkResult<>& transfer, int addresses, CReceiverLink& link) {
  const LinkFailure& failure = transfer.Failure();
  if (!transfer && failure.enteredServiceMode && failure.addressesDone < addresses && link.IsOpen()) {
    static_cast<void>(link.ReturnToNormalOperation());
  }
}

}  // namespace qlr
