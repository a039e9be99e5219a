// The change sequence as another face than the command line meets it:
// what it asks of its view, in which order, against an emulated receiver.
#include "change/guarded_change.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "backup/history.h"
#include "support/link_fixture.h"

namespace qlr::testing {
namespace {

// Answers as told and writes down what it was asked, in order.
class RecordingView : public ChangeView {
 public:
  bool ConfirmWrite(const PlannedWrite& plan) override {
    calls.push_back("confirm " + std::to_string(plan.changed));
    return confirm;
  }
  bool ConfirmOtherDevice(const OtherDevice& mismatch) override {
    calls.push_back("device " + mismatch.recordedDevice);
    return confirm;
  }
  bool ConfirmOtherRegion(const OtherRegion& mismatch) override {
    calls.push_back("region " + std::to_string(mismatch.recordedRegion) + "/" + std::to_string(mismatch.foundRegion));
    return confirm;
  }
  bool StopRequested() const override { return false; }
  std::string DescribeFailure(const LinkFailure& failure, const std::string&, int) const override {
    return failure.step;
  }
  LinkResult<> RunTransfer(TransferKind kind, int addresses,
                           const std::function<LinkResult<>(ProgressSink*)>& transfer) override {
    calls.push_back((kind == TransferKind::Read    ? "read "
                     : kind == TransferKind::Write ? "write "
                                                   : "confirmed write ") +
                    std::to_string(addresses) + (uncut ? " uncut" : ""));
    return transfer(nullptr);
  }
  void RunUncut(const std::function<void()>& steps) override {
    uncut = true;
    steps();
    uncut = false;
  }

  bool confirm = true;
  bool uncut = false;
  std::vector<std::string> calls;
};

class GuardedChange : public LinkFixture {
 protected:
  ChangeResult Change(const ChangeRequest& request) {
    if (!link.IsOpen()) {
      EXPECT_TRUE(link.OpenPort(1));
    }
    return MakeGuardedChange(request, {link, receiver.DevicePath(), 1}, folder, view);
  }

  TempDirectory dir;
  BackupFolder folder{dir.Path()};
  RecordingView view;
};

TEST_F(GuardedChange, AsksAfterTheReadAndKeepsNothingWhenRefused) {
  EepromImage image{};
  image.fill(0x5A);
  const std::vector<unsigned char> original = Memory();
  EepromImage before{};
  std::copy(original.begin(), original.end(), before.begin());
  const std::string n = std::to_string(CountDifferences(before, image));
  struct Case {
    bool confirm;
    std::optional<int> region;  // an undo's: of the receiver the undone change was made on
    ChangeResult::Outcome outcome;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {false, std::nullopt, ChangeResult::Outcome::Declined, {"read 128", "confirm " + n}},
      {false, 7, ChangeResult::Outcome::Declined, {"read 128", "region 7/2"}},
      {true,
       7,
       ChangeResult::Outcome::Written,
       {"read 128", "region 7/2", "confirm " + n, "confirmed write " + n + " uncut"}},
  };
  for (const Case& c : cases) {
    view.confirm = c.confirm;
    view.calls.clear();
    const ChangeResult result = Change({.image = image, .what = "x", .command = "undo", .region = c.region});
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(view.calls, c.calls);
    const bool written = c.outcome == ChangeResult::Outcome::Written;
    EXPECT_EQ(ReadHistory(folder.path).changes.size(), written ? 1u : 0u);
    EXPECT_EQ(Memory(), written ? std::vector<unsigned char>(128, 0x5A) : original);
  }
  // Nothing differs any more: only the read.
  view.calls.clear();
  EXPECT_EQ(Change({.image = image, .what = "x", .command = "write"}).outcome, ChangeResult::Outcome::AlreadyHeld);
  EXPECT_EQ(view.calls, std::vector<std::string>{"read 128"});
}

}  // namespace
}  // namespace qlr::testing
