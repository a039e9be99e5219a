// The receiver's commands over a real pty: the exact wire traffic of each
// operation, and where each one stops when the receiver misbehaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "image/eeprom_image.h"
#include "link/receiver_commands.h"
#include "link/receiver_link.h"
#include "link/wire_time.h"
#include "support/link_fixture.h"
#include "support/pty_pair.h"

namespace qlr {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qlr::emu::EmulatorOptions;
using qlr::emu::FaultRule;
using qlr::emu::ReceiverEmulator;
using qlr::testing::CommandTexts;
using qlr::testing::ReadTraffic;
using qlr::testing::RecordingSink;
using qlr::testing::ScopedPorts;
using qlr::testing::SettingsOf;
using qlr::testing::Traffic;
using Lines = std::vector<std::string>;

class ProtocolTest : public testing::LinkFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(link.OpenPort(1)); }
  RecordingSink sink;
};

TEST_F(ProtocolTest, ReadEepromEntersServiceModeReadsEveryAddressAndLeaves) {
  EepromImage image{};
  ASSERT_TRUE(link.ReadEeprom(0, 128, image.data(), &sink));
  EXPECT_EQ(image, receiver.Memory());
  EXPECT_EQ(Traffic(receiver), ReadTraffic(128));
  EXPECT_EQ(sink.calls, RecordingSink::Transfer(128));
  EXPECT_FALSE(receiver.InServiceMode());
  // Back at 9600: the receiver still answers normal commands.
  EXPECT_EQ(link.QueryRegion().Value(), 2);
}

TEST_F(ProtocolTest, WriteEepromWritesAndReadsBackEveryAddress) {
  ASSERT_TRUE(link.WriteEeprom(0, 128, MediumValues.data(), &sink));
  EXPECT_EQ(receiver.Memory(), MediumValues);
  EXPECT_EQ(sink.calls, RecordingSink::Transfer(128));

  std::vector<std::pair<std::string, unsigned>> expected = {
      {"G300", 9600}, {"G105", 9600}, {"GC01", 38400}, {"GCF0", 38400}};
  char command[16];
  for (int address = 0; address < 128; ++address) {
    std::snprintf(command, sizeof command, "LD0%02X%02X", address, MediumValues[static_cast<std::size_t>(address)]);
    expected.emplace_back(command, 38400);
    std::snprintf(command, sizeof command, "LD0%02X?", address);
    expected.emplace_back(command, 38400);
  }
  expected.emplace_back("H100", 38400);
  expected.emplace_back("H101", 9600);
  EXPECT_EQ(Traffic(receiver), expected);
}

TEST_F(ProtocolTest, WriteEepromAddressesWritesOnlyThoseInOneSession) {
  EXPECT_TRUE(link.WriteEepromAddresses({}, MediumValues.data(), &sink));
  EXPECT_TRUE(receiver.Commands().empty());
  EXPECT_TRUE(sink.calls.empty());

  const emu::Eeprom before = receiver.Memory();
  ASSERT_TRUE(link.WriteEepromAddresses({0x05, 0x42, 0x7F}, MediumValues.data(), &sink));
  EXPECT_EQ(CommandTexts(receiver), (Lines{"G300", "G105", "GC01", "GCF0", "LD00500", "LD005?", "LD0427A", "LD042?",
                                           "LD07F05", "LD07F?", "H100", "H101"}));
  EXPECT_EQ(sink.calls, (Lines{"range 0-2", "0", "1", "2"}));
  emu::Eeprom expected = before;
  for (const std::size_t address : {0x05, 0x42, 0x7F}) expected[address] = MediumValues[address];
  EXPECT_EQ(receiver.Memory(), expected);

  // A failure tells how many of the list were written and verified.
  receiver.AddFault({.commandPrefix = "LD042", .storeInstead = std::uint8_t{0x00}});
  const LinkResult<> failed = link.WriteEepromAddresses({0x10, 0x42, 0x50}, MediumValues.data(), nullptr);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.Failure().kind, LinkFailureKind::ValueNotKept);
  EXPECT_TRUE(failed.Failure().enteredServiceMode);
  EXPECT_EQ(failed.Failure().addressesDone, 1);
  EXPECT_FALSE(link.WriteEepromAddresses({128}, MediumValues.data(), nullptr));
}

TEST_F(ProtocolTest, AnswersAreReadByPositionNotByEchoedAddress) {
  receiver.AddFault({.commandPrefix = "LD005?", .answer = Lines{"LD07F3A"}});
  EepromImage image{};
  ASSERT_TRUE(link.ReadEeprom(0, 128, image.data(), nullptr));
  EXPECT_EQ(image[5], 0x3A);
  EXPECT_EQ(image[6], receiver.Memory()[6]);
}

TEST_F(ProtocolTest, RegionCodes) {
  EXPECT_EQ(link.QueryRegion().Value(), 2);
  receiver.SetRegion(0x1F);
  EXPECT_EQ(link.QueryRegion().Value(), 31);
  // The pattern lets a literal 'x' pass for a digit: no code, and a reason.
  receiver.AddFault({.commandPrefix = "GE?", .times = 1, .answer = Lines{"GE1x"}});
  const LinkResult<int> noNumber = link.QueryRegion();
  EXPECT_FALSE(noNumber);
  EXPECT_EQ(noNumber.Failure().kind, LinkFailureKind::WrongAnswer);
  EXPECT_EQ(noNumber.Failure().command, "GE?");
  receiver.SetSilent(true);
  const auto start = Clock::now();
  const LinkResult<int> silent = link.QueryRegion();
  EXPECT_FALSE(silent);
  EXPECT_EQ(silent.Failure().kind, LinkFailureKind::NoAnswer);
  EXPECT_GE(Clock::now() - start, 490ms);
}

TEST_F(ProtocolTest, TimePresenceTimesOneRoundTripAndNeverRetries) {
  receiver.SetPacing(true);
  const LinkResult<Clock::duration> took = link.TimePresence();
  ASSERT_TRUE(took);
  // Paced like a real line, the round trip cannot beat the wire.
  EXPECT_GE(took.Value(), std::chrono::duration<double>(wire::IdealPresenceSeconds()));
  EXPECT_LT(took.Value(), 500ms);
  receiver.AddFault({.commandPrefix = "H101", .answer = Lines{"G001"}});
  const LinkResult<Clock::duration> refused = link.TimePresence();
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.Failure().kind, LinkFailureKind::WrongAnswer);
  EXPECT_EQ(CommandTexts(receiver), (Lines{"H101", "H101"}));
}

TEST_F(ProtocolTest, EmptyCountStillEntersAndLeavesServiceMode) {
  ASSERT_TRUE(link.ReadEeprom(0, 0, nullptr, &sink));
  EXPECT_EQ(CommandTexts(receiver), (Lines{"G300", "G105", "GC01", "GCF0", "H100", "H101"}));
  EXPECT_EQ(sink.calls, RecordingSink::Transfer(0));
}

TEST_F(ProtocolTest, ARejectedWriteIsTriedOnceMore) {
  receiver.AddFault({.commandPrefix = "LD010", .times = 1, .answer = Lines{"G001"}});
  ASSERT_TRUE(link.WriteEeprom(0, 128, MediumValues.data(), nullptr));
  const Lines texts = CommandTexts(receiver);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "LD01035"), 2);
  EXPECT_EQ(receiver.Memory(), MediumValues);
}

// Each failure stops the operation where it happens: nothing is sent after
// it, and no exit sequence follows.
struct FailureCase {
  const char* name;
  FaultRule fault;
  bool write;
  Lines lastCommands;  // how the traffic ends
  unsigned lastBaud;
  LinkFailureKind kind;
  const char* command;  // the one the failure concerns
};

class ProtocolFailure : public ProtocolTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProtocolFailure, StopsAtTheFailingStep) {
  const FailureCase& failure = GetParam();
  receiver.AddFault(failure.fault);
  EepromImage image{};
  const LinkResult<> result = failure.write ? link.WriteEeprom(0, 128, MediumValues.data(), &sink)
                                            : link.ReadEeprom(0, 128, image.data(), &sink);
  EXPECT_FALSE(result);
  std::this_thread::sleep_for(100ms);  // anything sent late would arrive now
  const auto traffic = Traffic(receiver);
  ASSERT_GE(traffic.size(), failure.lastCommands.size());
  const Lines texts = CommandTexts(receiver);
  const Lines tail(texts.end() - static_cast<long>(failure.lastCommands.size()), texts.end());
  EXPECT_EQ(tail, failure.lastCommands);
  EXPECT_EQ(traffic.back().second, failure.lastBaud);
  EXPECT_FALSE(result.Failure().step.empty());
  EXPECT_EQ(result.Failure().kind, failure.kind);
  EXPECT_EQ(result.Failure().command, failure.command);
}

// A case table, laid out by hand.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolFailure,
    ::testing::Values(
        FailureCase{"G300Rejected", {.commandPrefix = "G300", .answer = Lines{"G001"}}, false, {"G300"}, 9600,
                    LinkFailureKind::WrongAnswer, "G300"},
        FailureCase{"GC01AnsweredG000", {.commandPrefix = "GC01", .answer = Lines{"G000"}}, false, {"GC01"}, 38400,
                    LinkFailureKind::WrongAnswer, "GC01"},
        FailureCase{"GCF0Silent", {.commandPrefix = "GCF0", .answer = Lines{}}, true, {"GC01", "GCF0"}, 38400,
                    LinkFailureKind::NoAnswer, "GCF0"},
        FailureCase{"ReadSilentAt0x40", {.commandPrefix = "LD040?", .answer = Lines{}}, false, {"LD03F?", "LD040?"}, 38400,
                    LinkFailureKind::NoAnswer, "LD040?"},
        FailureCase{"ReadValueNoNumber", {.commandPrefix = "LD005?", .answer = Lines{"LD005xx"}}, false, {"LD005?"},
                    38400, LinkFailureKind::WrongAnswer, "LD005?"},
        FailureCase{"WriteRejectedTwice", {.commandPrefix = "LD020", .answer = Lines{"G002"}}, true,
                    {"LD01F?", "LD02013", "LD02013"}, 38400, LinkFailureKind::WrongAnswer, "LD02013"},
        FailureCase{"ReadBackDiffers", {.commandPrefix = "LD033", .storeInstead = std::uint8_t{0x00}}, true,
                    {"LD03387", "LD033?"}, 38400, LinkFailureKind::ValueNotKept, "LD03387"},
        FailureCase{"ExitUnanswered", {.commandPrefix = "H101", .answer = Lines{}}, false,
                    {"H100", "H101", "H101", "H101"}, 9600, LinkFailureKind::NoAnswer, "H101"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });
// clang-format on

TEST_F(ProtocolTest, GC01AnsweredG000LeavesTheLineInServiceSpeed) {
  receiver.AddFault({.commandPrefix = "GC01", .answer = Lines{"G000"}});
  EepromImage image{};
  EXPECT_FALSE(link.ReadEeprom(0, 128, image.data(), &sink));
  EXPECT_TRUE(sink.calls.empty());
  // The line stays at service speed until an exit sequence or a reopen.
  EXPECT_TRUE(receiver.InServiceMode());
  ASSERT_TRUE(link.Send(command::Presence.text));
  ASSERT_EQ(receiver.WaitForCommands(4, 1s), 4u);
  EXPECT_EQ(receiver.Commands().back().baud, 38400u);
  ASSERT_TRUE(link.OpenPort(1));
  ASSERT_TRUE(link.Send(command::Presence.text));
  ASSERT_EQ(receiver.WaitForCommands(5, 1s), 5u);
  EXPECT_EQ(receiver.Commands().back().baud, 9600u);
}

TEST_F(ProtocolTest, ExitRetriesAreBoundedAndPaused) {
  receiver.AddFault({.commandPrefix = "H101", .answer = Lines{}});
  const auto start = Clock::now();
  std::uint8_t value = 0;
  EXPECT_FALSE(link.ReadEeprom(0, 1, &value, nullptr));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 3 * 500ms + 2 * 100ms);
  EXPECT_LT(took, 4000ms);
}

using ProtocolClosedLink = testing::LinkFixture;

TEST_F(ProtocolClosedLink, FailsAtOnceSendingNothing) {
  RecordingSink sink;
  EepromImage image{};
  const auto start = Clock::now();
  EXPECT_FALSE(link.QueryRegion());
  EXPECT_FALSE(link.ReadEeprom(0, 128, image.data(), &sink));
  EXPECT_FALSE(link.WriteEeprom(0, 128, image.data(), &sink));
  EXPECT_LT(Clock::now() - start, 100ms);
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_EQ(receiver.WaitForCommands(1, 100ms), 0u);
}

TEST(FindReceiver, ScansPastMissingAndSilentPortsToTheReceiver) {
  ReceiverEmulator receiver;
  {
    ScopedPorts ports({"/dev/qlr-missing-1", "/dev/qlr-missing-2", receiver.DevicePath()});
    CReceiverLink link;
    ASSERT_TRUE(link.FindReceiver());
    EXPECT_EQ(link.PortNumber(), 3);
    EXPECT_EQ(CommandTexts(receiver), Lines{"H101"});
  }
  receiver.ClearCommands();

  // A port that opens but stays silent costs three 500 ms waits, and both
  // ports are left with the settings they had.
  ReceiverEmulator silent(EmulatorOptions{.silent = true});
  const std::string silentBefore = SettingsOf(silent.DevicePath());
  const std::string receiverBefore = SettingsOf(receiver.DevicePath());
  ScopedPorts ports({silent.DevicePath(), receiver.DevicePath()});
  CReceiverLink link;
  const auto start = Clock::now();
  ASSERT_TRUE(link.FindReceiver());
  EXPECT_EQ(link.PortNumber(), 2);
  EXPECT_GE(Clock::now() - start, 1500ms);
  EXPECT_EQ(CommandTexts(silent), (Lines{"H101", "H101", "H101"}));
  EXPECT_EQ(SettingsOf(silent.DevicePath()), silentBefore);
  link.ClosePort();
  EXPECT_EQ(SettingsOf(receiver.DevicePath()), receiverBefore);
}

TEST(FindReceiver, RejectingReceiverIsPassedQuicklyAndNoneFoundFails) {
  ReceiverEmulator rejecting;
  rejecting.AddFault({.commandPrefix = "H101", .answer = Lines{"G001"}});
  ScopedPorts ports({rejecting.DevicePath(), "", "/dev/qlr-missing"});
  CReceiverLink link;
  const auto start = Clock::now();
  EXPECT_FALSE(link.FindReceiver());
  EXPECT_LT(Clock::now() - start, 1000ms);
  EXPECT_EQ(CommandTexts(rejecting), (Lines{"H101", "H101", "H101"}));
  EXPECT_EQ(link.PortNumber(), 0);
}

}  // namespace
}  // namespace qlr
