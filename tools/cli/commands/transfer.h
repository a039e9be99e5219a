// One whole-image transfer with the receiver, as every subcommand runs it:
// the progress bar on a terminal, and interrupts held back until the
// receiver is back in normal operation.
#pragma once

#include <vector>

#include "cli/cli.h"
#include "cli/commands/receiver_session.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"

namespace qlr::cli {

// The link's ReadEeprom/WriteEeprom of all 128 addresses. A failure tells
// why and how far the transfer got. Prints nothing but the bar, and after a
// transfer that took more than twice its wire time (link/wire_time.h) one
// line on env.err that says so and points at 'qlr5500 doctor'. `image` is
// changed only by a successful read.
LinkResult<> ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env);
LinkResult<> WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env);
// The link's WriteEepromAddresses: only `addresses`, the bar counting them.
LinkResult<> WriteImageAt(CReceiverLink& link, const std::vector<int>& addresses, const EepromImage& image,
                          const CliEnvironment& env);

// Reports a failed transfer and what it left behind: the receiver possibly
// still in service mode, and for a write how much of the EEPROM was written.
// Returns ExitReceiver.
int ReportTransferFailure(const LinkFailure& failure, const OpenedReceiver& receiver, bool writing,
                          const CliEnvironment& env);

}  // namespace qlr::cli
