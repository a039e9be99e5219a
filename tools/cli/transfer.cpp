#include "cli/transfer.h"

#include <optional>

#include "cli/interrupt_deferral.h"
#include "cli/progress_bar.h"

namespace qlr::cli {
namespace {

template <typename Transfer>
LinkResult<> RunTransfer(const char* label, const CliEnvironment& env, Transfer transfer) {
  const InterruptDeferral deferral;
  std::optional<TerminalProgressBar> bar;
  if (env.errorIsTerminal) bar.emplace(env.err, label);
  return transfer(bar ? &*bar : nullptr);
}

}  // namespace

LinkResult<> ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env) {
  EepromImage read{};
  LinkResult<> outcome = RunTransfer("reading", env, [&](ProgressSink* sink) {
    return link.ReadEeprom(0, static_cast<int>(read.size()), read.data(), sink);
  });
  if (outcome) image = read;
  return outcome;
}

LinkResult<> WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env) {
  return RunTransfer("writing", env, [&](ProgressSink* sink) {
    return link.WriteEeprom(0, static_cast<int>(image.size()), image.data(), sink);
  });
}

LinkResult<> WriteImageAt(CReceiverLink& link, const std::vector<int>& addresses, const EepromImage& image,
                          const CliEnvironment& env) {
  return RunTransfer("writing", env,
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
