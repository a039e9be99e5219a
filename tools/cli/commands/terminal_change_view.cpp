#include "cli/commands/terminal_change_view.h"

#include "cli/commands/interrupt_deferral.h"
#include "cli/commands/transfer.h"
#include "cli/output/confirmation.h"
#include "cli/output/failure_report.h"
#include "cli/output/formatting.h"
#include "cli/output/messages.h"
#include "cli/output/shell_words.h"
#include "link/region_names.h"

namespace qlr::cli {
namespace {

// Rows of the table of changes a confirmation shows.
constexpr std::size_t ShownDifferences = 16;

std::string RegionText(int code) { return std::string(RegionName(code)) + " (" + std::to_string(code) + ")"; }

}  // namespace

bool TerminalChangeView::Ask(const std::string& question) {
  if (AskToConfirm(question, env_) == Confirmation::Yes) return true;
  Tell(env_) << "nothing written\n";
  return false;
}

bool TerminalChangeView::ConfirmWrite(const PlannedWrite& plan) {
  if (options_.yes) return true;
  if (plan.current) {
    env_.err << "the EEPROM of the receiver on " << plan.device << " differs from " << plan.what << " in "
             << plan.changed << (plan.changed == 1 ? " byte:\n" : " bytes:\n")
             << FormatDifferences(*plan.current, plan.image, "receiver", "new", ShownDifferences);
  }
  return Ask("write " + plan.what + " into the EEPROM of the receiver on " + plan.device + "?");
}

bool TerminalChangeView::ConfirmOtherDevice(const OtherDevice& mismatch) {
  return ConfirmMismatch("change " + std::to_string(mismatch.undoneNumber) + " was made on the receiver on " +
                         Printable(mismatch.recordedDevice) + ", not on " + Printable(mismatch.device));
}

bool TerminalChangeView::ConfirmOtherRegion(const OtherRegion& mismatch) {
  return ConfirmMismatch("change " + std::to_string(mismatch.undoneNumber) + " was made on a receiver of region " +
                         RegionText(mismatch.recordedRegion) + ", the receiver on " + mismatch.device +
                         " is of region " + RegionText(mismatch.foundRegion));
}

bool TerminalChangeView::ConfirmMismatch(const std::string& text) {
  if (options_.force) {
    Tell(env_) << "note: " << text << " (--force)\n";
    return true;
  }
  if (options_.yes) {
    Tell(env_) << text << ": nothing written (--force writes its values anyway)\n";
    return false;
  }
  return Ask(text + ": write its values into this one anyway?");
}

std::string TerminalChangeView::DescribeFailure(const LinkFailure& failure, const std::string& device, int port) const {
  return LinkFailureText(failure, device, port);
}

LinkResult<> TerminalChangeView::RunTransfer(TransferKind kind, int addresses,
                                             const std::function<LinkResult<>(ProgressSink*)>& transfer) {
  return cli::RunTransfer(kind, addresses, env_, transfer);
}

bool TerminalChangeView::StopRequested() const { return InterruptDeferred(); }

void TerminalChangeView::RunUncut(const std::function<void()>& steps) {
  const InterruptDeferral deferral;
  steps();
}

}  // namespace qlr::cli
