// The command line's answers to what a change of the EEPROM asks
// (change/change_view.h): the differences and the question on the terminal
// (none with --yes), the progress bar, interrupts held back.
#pragma once

#include "change/change_view.h"
#include "cli/cli.h"
#include "cli/command_line/arguments.h"

namespace qlr::cli {

class TerminalChangeView final : public ChangeView {
 public:
  TerminalChangeView(const Options& options, const CliEnvironment& env) : options_(options), env_(env) {}

  bool ConfirmWrite(const PlannedWrite& plan) override;
  // Each: --force writes with a note; --yes alone refuses; otherwise a second question.
  bool ConfirmOtherDevice(const OtherDevice& mismatch) override;
  bool ConfirmOtherRegion(const OtherRegion& mismatch) override;
  std::string DescribeFailure(const LinkFailure& failure, const std::string& device, int port) const override;
  LinkResult<> RunTransfer(TransferKind kind, int addresses,
                           const std::function<LinkResult<>(ProgressSink*)>& transfer) override;
  // A signal held back during a transfer.
  bool StopRequested() const override;
  void RunUncut(const std::function<void()>& steps) override;

 private:
  // Asks; a refusal is told as "nothing written".
  bool Ask(const std::string& question);
  // What --force and --yes say to `mismatch`, or the question.
  bool ConfirmMismatch(const std::string& mismatch);

  const Options& options_;
  const CliEnvironment& env_;
};

}  // namespace qlr::cli
