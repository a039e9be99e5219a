#include "cli/commands/transfer.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands/interrupt_deferral.h"
#include "cli/output/messages.h"
#include "cli/output/progress_bar.h"
#include "link/wire_time.h"

namespace qlr::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// Far more than the wire needs is the adapter's or the driver's doing, which
// the doctor finds; a user would not know to ask otherwise.
void NoteSlowTransfer(const char* noun, Clock::duration took, double wireSeconds, const CliEnvironment& env) {
  const double seconds = std::chrono::duration<double>(took).count();
  if (seconds <= 2 * wireSeconds) return;
  Tell(env) << "the " << noun << " took " << Seconds(seconds) << " where the line needs " << Seconds(wireSeconds)
            << ": 'qlr5500 doctor' tells why\n";
}

}  // namespace

LinkResult<> RunTransfer(TransferKind kind, int addresses, const CliEnvironment& env,
                         const std::function<LinkResult<>(ProgressSink*)>& transfer) {
  const bool reading = kind == TransferKind::Read;
  const Clock::time_point started = Clock::now();
  LinkResult<> outcome = [&] {
    const InterruptDeferral deferral;
    std::optional<TerminalProgressBar> bar;
    if (env.errorIsTerminal) bar.emplace(env.err, reading ? "reading" : "writing");
    return transfer(bar ? &*bar : nullptr);
  }();
  if (outcome) {
    const double wire = reading                                ? wire::IdealReadSeconds(addresses)
                        : kind == TransferKind::ConfirmedWrite ? wire::IdealConfirmedWriteSeconds(addresses)
                                                               : wire::IdealWriteSeconds(addresses);
    NoteSlowTransfer(reading ? "read" : "write", Clock::now() - started, wire, env);
  }
  return outcome;
}

LinkResult<> ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env) {
  EepromImage read{};
  const int count = static_cast<int>(read.size());
  LinkResult<> outcome = RunTransfer(TransferKind::Read, count, env,
                                     [&](ProgressSink* sink) { return link.ReadEeprom(0, count, read.data(), sink); });
  if (outcome) image = read;
  return outcome;
}

}  // namespace qlr::cli
