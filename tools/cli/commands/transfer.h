// One whole-image transfer with the receiver, as every subcommand runs it:
// the progress bar on a terminal, and interrupts held back until the
// receiver is back in normal operation.
#pragma once

#include <functional>

#include "change/change_view.h"
#include "cli/cli.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"

namespace qlr::cli {

// Runs `transfer` (a read or a write of `addresses` addresses) with
// interrupts held back and, on a terminal, a progress bar as its sink.
// Prints nothing but the bar, and after a transfer that took more than
// twice its wire time (link/wire_time.h) one line on env.err that says so
// and points at 'qlr5500 doctor'.
LinkResult<> RunTransfer(TransferKind kind, int addresses, const CliEnvironment& env,
                         const std::function<LinkResult<>(ProgressSink*)>& transfer);

// The link's ReadEeprom of all 128 addresses, run as above. A failure tells
// why and how far the transfer got; `image` is changed only by a successful read.
LinkResult<> ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env);

}  // namespace qlr::cli
