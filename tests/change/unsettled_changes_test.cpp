// Which changes every command names, and the undo it advises, as a history
// of changes cut short and undone unfolds.
#include "change/cut_changes.h"

#include <gtest/gtest.h>

#include <fstream>

#include "backup/history_log.h"
#include "support/test_support.h"

namespace qlr::testing {
namespace {

EepromImage Filled(std::uint8_t value) {
  EepromImage image{};
  image.fill(value);
  return image;
}

class UnsettledChangesTest : public ::testing::Test {
 protected:
  // Appends change `name` as its records would: "cut" has no outcome.
  void Add(const std::string& name, const std::string& command, const std::string& undone, const std::string& device,
           std::uint8_t before, std::uint8_t after, const std::string& outcome) {
    const ChangeRecord record{.backupName = name,
                              .time = "2026-12-10T10:00:00+01:00",
                              .command = command,
                              .argument = undone,
                              .device = device,
                              .changed = 128,
                              .before = Filled(before),
                              .after = Filled(after)};
    std::ofstream log(HistoryLogPath(dir.Path()), std::ios::app);
    log << StartedLine(record);
    if (outcome == "done") log << CompletionLine({.backupName = name, .done = true});
    if (outcome == "failed") log << CompletionLine({.backupName = name, .failedAddress = 16, .written = 4});
    if (outcome == "wrote nothing") log << CompletionLine({.backupName = name, .failedAddress = -1, .written = 0});
  }
  // "number:advised undo" of each unsettled change, newest first.
  std::vector<std::string> Named() const {
    std::vector<std::string> named;
    for (const UnsettledChange& change : UnsettledChanges(ReadHistory(dir.Path()))) {
      named.push_back(std::to_string(change.change.number) + ":" + std::to_string(change.undo));
    }
    return named;
  }

  TempDirectory dir;
};

// 0x00 the original, 0xFF a file's values, 0x0F and 0xF0 what cut writes left.
TEST_F(UnsettledChangesTest, OnlyWholeValuesFoundInTheReceiverSettleAChange) {
  using Named = std::vector<std::string>;
  Add("w", "write", "/a.bin", "/dev/a", 0x00, 0xFF, "cut");
  EXPECT_EQ(this->Named(), Named{"1:1"});
  // Its undo, cut too: both named, the write's undo advised for both.
  Add("u", "undo", "w", "/dev/a", 0x0F, 0x00, "cut");
  EXPECT_EQ(this->Named(), (Named{"2:1", "1:1"}));
  // Another receiver's change changes nothing here.
  Add("x", "write", "/b.bin", "/dev/b", 0x33, 0x44, "done");
  EXPECT_EQ(this->Named(), (Named{"2:1", "1:1"}));
  // Undoing the cut undo puts back what the write left half-way: that settles the undo, not the write.
  Add("v", "undo", "u", "/dev/a", 0xF0, 0x0F, "done");
  EXPECT_EQ(this->Named(), Named{"1:1"});
  // A write that failed at an address is as unsettled as one cut short.
  Add("f", "write", "/c.bin", "/dev/a", 0x0F, 0xCC, "failed");
  EXPECT_EQ(this->Named(), (Named{"5:1", "1:1"}));
  // Undoing the write brings back the original, which the receiver held whole: nothing is left unsettled.
  Add("y", "undo", "w", "/dev/a", 0xC0, 0x00, "done");
  EXPECT_TRUE(this->Named().empty());
  const History history = ReadHistory(dir.Path());
  EXPECT_EQ(history.changes.back().undoneBy, 6);
  EXPECT_TRUE(history.changes.back().settled);
  // A file's values written whole settle a change cut short before them.
  Add("z", "write", "/d.bin", "/dev/a", 0x00, 0xAA, "cut");
  Add("q", "medium", "", "/dev/a", 0x0A, 0xBB, "done");
  EXPECT_TRUE(this->Named().empty());
  // A change that failed before its first write may have failed because what it read was wrong: that settles nothing.
  Add("c", "write", "/e.bin", "/dev/c", 0x00, 0x11, "cut");
  Add("n", "write", "/f.bin", "/dev/c", 0x11, 0x22, "wrote nothing");
  EXPECT_EQ(this->Named(), Named{"9:9"});
}

}  // namespace
}  // namespace qlr::testing
