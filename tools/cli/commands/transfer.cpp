#include "cli/commands/transfer.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "cli/commands/interrupt_deferral.h"
#include "cli/output/progress_bar.h"
#include "link/wire_time.h"

namespace qlr::cli {
namespace {

using Clock = std::chrono::steady_clock;

// What a transfer is called on its bar and in the note on its time.
struct TransferName {
  const char* label;  // "reading"
  const char* noun;   // "read"
};

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
  env.err << "qlr5500: the " << noun << " took " << Seconds(seconds) << " where the line needs " << Seconds(wireSeconds)
          << ": 'qlr5500 doctor' tells why\n";
}

template <typename Transfer>
LinkResult<> RunTransfer(TransferName name, double wireSeconds, const CliEnvironment& env, Transfer transfer) {
  const Clock::time_point started = Clock::now();
  LinkResult<> outcome = [&] {
    const InterruptDeferral deferral;
    std::optional<TerminalProgressBar> bar;
    if (env.errorIsTerminal) bar.emplace(env.err, name.label);
    return transfer(bar ? &*bar : nullptr);
  }();
  if (outcome) NoteSlowTransfer(name.noun, Clock::now() - started, wireSeconds, env);
  return outcome;
}

}  // namespace

LinkResult<> ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env) {
  EepromImage read{};
  const int count = static_cast<int>(read.size());
  LinkResult<> outcome = RunTransfer({"reading", "read"}, wire::IdealReadSeconds(count), env,
                                     [&](ProgressSink* sink) { return link.ReadEeprom(0, count, read.data(), sink); });
  if (outcome) image = read;
  return outcome;
}

LinkResult<> WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env) {
  const int count = static_cast<int>(image.size());
  return RunTransfer({"writing", "write"}, wire::IdealWriteSeconds(count), env,
                     [&](ProgressSink* sink) { return link.WriteEeprom(0, count, image.data(), sink); });
}

LinkResult<> WriteImageAt(CReceiverLink& link, const std::vector<int>& addresses, const EepromImage& image,
                          const CliEnvironment& env) {
  const int count = static_cast<int>(addresses.size());
  return RunTransfer({"writing", "write"}, wire::IdealWriteSeconds(count), env,
                     [&](ProgressSink* sink) { return link.WriteEepromAddresses(addresses, image.data(), sink); });
}

int ReportTransferFailure(const LinkFailure& failure, const OpenedReceiver& receiver, bool writing,
                          const CliEnvironment& env) {
  const int code = ReportLinkFailure(failure, receiver.device, receiver.port, env);
  if (!failure.enteredServiceMode) {
    if (writing) env.err << "qlr5500: nothing was written\n";
    return code;
  }
  if (writing) {
    const int all = static_cast<int>(EepromSize);
    if (failure.addressesDone == all) {
      env.err << "qlr5500: all " << all
              << " bytes were written and verified, but the receiver did not come back "
                 "to normal operation\n";
    } else {
      env.err << "qlr5500: the EEPROM is partly written (" << failure.addressesDone << " of " << all
              << " bytes written and verified): write it again, or restore a backup\n";
    }
  }
  env.err << "qlr5500: if the receiver no longer answers, switch it off and on again\n";
  return code;
}

}  // namespace qlr::cli
