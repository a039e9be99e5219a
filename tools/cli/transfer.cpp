#include "cli/transfer.h"

#include <optional>

#include "cli/interrupt_deferral.h"
#include "cli/progress_bar.h"

namespace qlr::cli {
namespace {

// Passes the link's progress on to the bar, if there is one, and remembers
// how far the transfer got for the failure report.
class ProgressTracker final : public ProgressSink {
 public:
  ProgressTracker(TransferOutcome& outcome, ProgressSink* bar) : outcome_(outcome), bar_(bar) {}
  void SetRange(int lowest, int highest) override {
    outcome_.enteredServiceMode = true;
    if (bar_) bar_->SetRange(lowest, highest);
  }
  void SetPosition(int position) override {
    ++outcome_.addressesDone;
    if (bar_) bar_->SetPosition(position);
  }

 private:
  TransferOutcome& outcome_;
  ProgressSink* bar_;
};

template <typename Transfer>
TransferOutcome RunTransfer(const char* label, const CliEnvironment& env, Transfer transfer) {
  const InterruptDeferral deferral;
  TransferOutcome outcome;
  std::optional<TerminalProgressBar> bar;
  if (env.errorIsTerminal) bar.emplace(env.err, label);
  ProgressTracker tracker(outcome, bar ? &*bar : nullptr);
  outcome.ok = transfer(tracker) == 1;
  return outcome;
}

}  // namespace

TransferOutcome ReadImage(CReceiverLink& link, EepromImage& image, const CliEnvironment& env) {
  EepromImage read{};
  const TransferOutcome outcome = RunTransfer("reading", env, [&](ProgressSink& sink) {
    return link.ReadEeprom(0, static_cast<int>(read.size()), read.data(), &sink);
  });
  if (outcome.ok) image = read;
  return outcome;
}

TransferOutcome WriteImage(CReceiverLink& link, const EepromImage& image, const CliEnvironment& env) {
  return RunTransfer("writing", env, [&](ProgressSink& sink) {
    return link.WriteEeprom(0, static_cast<int>(image.size()), image.data(), &sink);
  });
}

int ReportTransferFailure(const CReceiverLink& link, const OpenedReceiver& receiver, const TransferOutcome& outcome,
                          bool writing, const CliEnvironment& env) {
  const int code = ReportLinkFailure(link, receiver.device, receiver.port, env);
  if (!outcome.enteredServiceMode) {
    if (writing) env.err << "qlr5500: nothing was written\n";
    return code;
  }
  if (writing) {
    const int all = static_cast<int>(EepromSize);
    if (outcome.addressesDone == all) {
      env.err << "qlr5500: all " << all
              << " bytes were written and verified, but the receiver did not come back "
                 "to normal operation\n";
    } else {
      env.err << "qlr5500: the EEPROM is partly written (" << outcome.addressesDone << " of " << all
              << " bytes written and verified): write it again, or restore a backup\n";
    }
  }
  env.err << "qlr5500: if the receiver no longer answers, switch it off and on again\n";
  return code;
}

}  // namespace qlr::cli
