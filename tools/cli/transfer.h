// One whole-image transfer with the receiver, as every subcommand runs it:
// the progress bar on a terminal, and interrupts held back until the
// receiver is back in normal operation.
#pragma once

#include "cli/cli.h"
#include "cli/receiver_session.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"

namespace qlr::cli {

// The link's ReadEeprom/WriteEeprom of all 128 addresses: true on success.
// On failure the link's LastFailure() tells why and how far it got. Prints
// nothing but the bar. `image` is changed only by a successful read.
bool ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env);
bool WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env);

// Reports a failed transfer and what it left behind: the receiver possibly
// still in service mode, and for a write how much of the EEPROM was written.
// Returns ExitReceiver.
int ReportTransferFailure(const CReceiverLink& link, const OpenedReceiver& receiver, bool writing,
                          const CliEnvironment& env);

}  // namespace qlr::cli
