// One whole-image transfer with the receiver, as every subcommand runs it:
// the progress bar on a terminal, and interrupts held back until the
// receiver is back in normal operation.
#pragma once

#include "cli/cli.h"
#include "cli/receiver_session.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"

namespace qlr::cli {

struct TransferOutcome {
  bool ok = false;
  bool enteredServiceMode = false;  // the receiver took the entry sequence
  int addressesDone = 0;            // transferred (for a write: written and verified)
};

// The link's ReadEeprom/WriteEeprom of all 128 addresses. On failure the
// link's LastFailure() tells why. Prints nothing but the bar. `image` is
// changed only by a successful read.
TransferOutcome ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env);
TransferOutcome WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env);

// Reports a failed transfer and what it left behind: the receiver possibly
// still in service mode, and for a write how much of the EEPROM was written.
// Returns ExitReceiver.
int ReportTransferFailure(const CReceiverLink& link, const OpenedReceiver& receiver, const TransferOutcome& outcome,
                          bool writing, const CliEnvironment& env);

}  // namespace qlr::cli
