// Every step of ReadEeprom, WriteEeprom and the snapshot against every way a
// receiver can fail at it, end to end over a pty. One row per cell: what the
// operation returns, the traffic from the faulted step on, the line speed it
// leaves behind and the waits the fault costs. Every cell also checks the
// data: the destination, the receiver's memory or the snapshot file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>

#include "app/snapshot.h"
#include "image/eeprom_image.h"
#include "link/receiver_commands.h"
#include "link/receiver_link.h"
#include "support/link_fixture.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
using emu::FaultRule;
using emu::ReceiverEmulator;
using qlr::testing::RecordingSink;
using qlr::testing::TempDirectory;

enum class Op { Read, Write, Snapshot };
// Ld0Read is the read of the faulted address, or its read-back in a write.
enum class Step { G300, G105, GC01, GCF0, Ld0Write, Ld0Read, H100, H101 };
enum class Fault {
  Silent,
  WrongStatus,
  GarbageFirst,
  JustInTime,
  TooLate,
  HangUp,
  SilentOnce,
  SilentTwice,
  RejectedOnce
};
using enum Op;
using enum Step;
using enum Fault;

constexpr int FaultedAddress = 0x40;
constexpr unsigned Service = 38400;
constexpr std::chrono::milliseconds JustInTimeDelay{400};
constexpr std::chrono::milliseconds TooLateDelay{650};
// Beyond the waits a cell runs into: the transfer itself, on a loaded 2-core
// machine under a sanitizer, but less than one more 500 ms wait.
constexpr std::chrono::milliseconds Slack{450};
// No answer pattern matches it; it carries a control byte and one above 0x7F.
const std::string Garbage = "LD0?\x01\xFF G00";

struct Cell {
  Op op;
  Step step;
  Fault fault;
  int result;
  // The commands from the faulted step on; "..." stands for the rest of a
  // fault-free run.
  const char* sent;
  // The speed of the last command the receiver heard, and the speed the link
  // leaves the line at (when it is still alive).
  unsigned baud;
  // What the fault costs: the waits and pauses it makes the link run into.
  int waitMs;
};

// clang-format off
const Cell Cells[] = {
    {Read, G300, Silent,       0, "G300",                9600,  500},
    {Read, G300, WrongStatus,  0, "G300",                9600,  0},
    {Read, G300, GarbageFirst, 1, "G300 ...",            9600,  0},
    {Read, G300, JustInTime,   1, "G300 ...",            9600,  400},
    {Read, G300, TooLate,      0, "G300",                9600,  500},
    {Read, G300, HangUp,       0, "G300",                9600,  500},
    // G105 is not answered; a line after it is the first GC01 looks at.
    {Read, G105, Silent,       1, "G105 ...",            9600,  0},
    {Read, G105, WrongStatus,  0, "G105 GC01",           38400, 0},
    {Read, G105, GarbageFirst, 1, "G105 ...",            9600,  0},
    {Read, G105, JustInTime,   1, "G105 ...",            9600,  400},
    {Read, G105, TooLate,      0, "G105 GC01",           38400, 500},
    // The speed change meets the dead line.
    {Read, G105, HangUp,       0, "G105",                9600,  20},
    {Read, GC01, Silent,       0, "GC01",                38400, 500},
    {Read, GC01, WrongStatus,  0, "GC01",                38400, 0},
    {Read, GC01, GarbageFirst, 1, "GC01 ...",            9600,  0},
    {Read, GC01, JustInTime,   1, "GC01 ...",            9600,  400},
    {Read, GC01, TooLate,      0, "GC01",                38400, 500},
    {Read, GC01, HangUp,       0, "GC01",                38400, 500},
    {Read, GCF0, Silent,       0, "GCF0",                38400, 500},
    {Read, GCF0, WrongStatus,  0, "GCF0",                38400, 0},
    {Read, GCF0, GarbageFirst, 1, "GCF0 ...",            9600,  0},
    {Read, GCF0, JustInTime,   1, "GCF0 ...",            9600,  400},
    {Read, GCF0, TooLate,      0, "GCF0",                38400, 500},
    {Read, GCF0, HangUp,       0, "GCF0",                38400, 500},
    // A status line is no data line: skipped, then silence.
    {Read, Ld0Read, Silent,       0, "LD040?",           38400, 500},
    {Read, Ld0Read, WrongStatus,  0, "LD040?",           38400, 500},
    {Read, Ld0Read, GarbageFirst, 1, "LD040? ...",       9600,  0},
    {Read, Ld0Read, JustInTime,   1, "LD040? ...",       9600,  400},
    {Read, Ld0Read, TooLate,      0, "LD040?",           38400, 500},
    {Read, Ld0Read, HangUp,       0, "LD040?",           38400, 500},
    // H100 is not answered; a line after it is the first H101 try's.
    {Read, H100, Silent,       1, "H100 ...",            9600,  0},
    {Read, H100, WrongStatus,  1, "H100 H101 H101",      9600,  100},
    {Read, H100, GarbageFirst, 1, "H100 ...",            9600,  0},
    {Read, H100, JustInTime,   1, "H100 ...",            9600,  400},
    {Read, H100, TooLate,      1, "H100 H101 H101",      9600,  650},
    {Read, H100, HangUp,       0, "H100",                38400, 20},
    {Read, H101, Silent,       0, "H101 H101 H101",      9600,  1700},
    {Read, H101, WrongStatus,  0, "H101 H101 H101",      9600,  200},
    {Read, H101, GarbageFirst, 1, "H101",                9600,  0},
    {Read, H101, JustInTime,   1, "H101",                9600,  400},
    // The first try's late answer is the second try's.
    {Read, H101, TooLate,      1, "H101 H101",           9600,  650},
    // The second try's write fails on the dead line and closes the link.
    {Read, H101, HangUp,       0, "H101",                9600,  700},
    {Read, H101, SilentOnce,   1, "H101 H101",           9600,  600},
    {Read, H101, SilentTwice,  1, "H101 H101 H101",      9600,  1200},

    {Write, G300, Silent,       0, "G300",               9600,  500},
    {Write, G300, WrongStatus,  0, "G300",               9600,  0},
    {Write, G300, GarbageFirst, 1, "G300 ...",           9600,  0},
    {Write, G300, JustInTime,   1, "G300 ...",           9600,  400},
    {Write, G300, TooLate,      0, "G300",               9600,  500},
    {Write, G300, HangUp,       0, "G300",               9600,  500},
    {Write, G105, Silent,       1, "G105 ...",           9600,  0},
    {Write, G105, WrongStatus,  0, "G105 GC01",          38400, 0},
    {Write, G105, GarbageFirst, 1, "G105 ...",           9600,  0},
    {Write, G105, JustInTime,   1, "G105 ...",           9600,  400},
    {Write, G105, TooLate,      0, "G105 GC01",          38400, 500},
    {Write, G105, HangUp,       0, "G105",               9600,  20},
    {Write, GC01, Silent,       0, "GC01",               38400, 500},
    {Write, GC01, WrongStatus,  0, "GC01",               38400, 0},
    {Write, GC01, GarbageFirst, 1, "GC01 ...",           9600,  0},
    {Write, GC01, JustInTime,   1, "GC01 ...",           9600,  400},
    {Write, GC01, TooLate,      0, "GC01",               38400, 500},
    {Write, GC01, HangUp,       0, "GC01",               38400, 500},
    {Write, GCF0, Silent,       0, "GCF0",               38400, 500},
    {Write, GCF0, WrongStatus,  0, "GCF0",               38400, 0},
    {Write, GCF0, GarbageFirst, 1, "GCF0 ...",           9600,  0},
    {Write, GCF0, JustInTime,   1, "GCF0 ...",           9600,  400},
    {Write, GCF0, TooLate,      0, "GCF0",               38400, 500},
    {Write, GCF0, HangUp,       0, "GCF0",               38400, 500},
    // A write gets one more try; its read-back gets none.
    {Write, Ld0Write, Silent,       0, "LD0407B LD0407B",        38400, 1000},
    {Write, Ld0Write, WrongStatus,  0, "LD0407B LD0407B",        38400, 0},
    {Write, Ld0Write, GarbageFirst, 1, "LD0407B ...",            9600,  0},
    {Write, Ld0Write, JustInTime,   1, "LD0407B ...",            9600,  400},
    // The first answer comes in the second try's wait; the read-back then
    // waits behind the receiver's late answer to the second try.
    {Write, Ld0Write, TooLate,      0, "LD0407B LD0407B LD040?", 38400, 1150},
    // The second try's write fails on the dead line and closes the link.
    {Write, Ld0Write, HangUp,       0, "LD0407B",                38400, 500},
    {Write, Ld0Write, SilentOnce,   1, "LD0407B LD0407B ...",    9600,  500},
    {Write, Ld0Write, RejectedOnce, 1, "LD0407B LD0407B ...",    9600,  0},
    {Write, Ld0Read, Silent,       0, "LD040?",          38400, 500},
    {Write, Ld0Read, WrongStatus,  0, "LD040?",          38400, 500},
    {Write, Ld0Read, GarbageFirst, 1, "LD040? ...",      9600,  0},
    {Write, Ld0Read, JustInTime,   1, "LD040? ...",      9600,  400},
    {Write, Ld0Read, TooLate,      0, "LD040?",          38400, 500},
    {Write, Ld0Read, HangUp,       0, "LD040?",          38400, 500},
    {Write, H100, Silent,       1, "H100 ...",           9600,  0},
    {Write, H100, WrongStatus,  1, "H100 H101 H101",     9600,  100},
    {Write, H100, GarbageFirst, 1, "H100 ...",           9600,  0},
    {Write, H100, JustInTime,   1, "H100 ...",           9600,  400},
    {Write, H100, TooLate,      1, "H100 H101 H101",     9600,  650},
    {Write, H100, HangUp,       0, "H100",               38400, 20},
    {Write, H101, Silent,       0, "H101 H101 H101",     9600,  1700},
    {Write, H101, WrongStatus,  0, "H101 H101 H101",     9600,  200},
    {Write, H101, GarbageFirst, 1, "H101",               9600,  0},
    {Write, H101, JustInTime,   1, "H101",               9600,  400},
    {Write, H101, TooLate,      1, "H101 H101",          9600,  650},
    {Write, H101, HangUp,       0, "H101",               9600,  700},

    // The snapshot writes its file only after a whole, successful read.
    {Snapshot, G300, GarbageFirst, 1, "G300 ...",        9600,  0},
    {Snapshot, GC01, WrongStatus,  0, "GC01",            38400, 0},
    {Snapshot, Ld0Read, TooLate,   0, "LD040?",          38400, 500},
    {Snapshot, Ld0Read, HangUp,    0, "LD040?",          38400, 500},
    {Snapshot, H101, Silent,       0, "H101 H101 H101",  9600,  1700},
    {Snapshot, H101, SilentTwice,  1, "H101 H101 H101",  9600,  1200},
};
// clang-format on

std::string ReadCommand(int address) {
  char command[16];
  std::snprintf(command, sizeof command, "LD0%02X?", address);
  return command;
}

std::string WriteCommand(int address) {
  char command[16];
  std::snprintf(command, sizeof command, "LD0%02X%02X", address, MediumValues[static_cast<std::size_t>(address)]);
  return command;
}

std::string CommandOf(Step step) {
  switch (step) {
    case G300: return "G300";
    case G105: return "G105";
    case GC01: return "GC01";
    case GCF0: return "GCF0";
    case Ld0Write: return WriteCommand(FaultedAddress);
    case Ld0Read: return ReadCommand(FaultedAddress);
    case H100: return "H100";
    case H101: return "H101";
  }
  return {};
}

// The commands of a fault-free run.
Lines Nominal(Op op) {
  Lines commands;
  if (op == Snapshot) commands.push_back("H101");  // the scan's presence test
  for (const char* command : {"G300", "G105", "GC01", "GCF0"}) commands.push_back(command);
  for (int address = 0; address < static_cast<int>(EepromSize); ++address) {
    if (op == Write) commands.push_back(WriteCommand(address));
    commands.push_back(ReadCommand(address));
  }
  commands.push_back("H100");
  commands.push_back("H101");
  return commands;
}

// Where the faulted step is in a fault-free run (the exit's H101 is the last).
std::size_t StepIndex(const Lines& nominal, Step step) {
  if (step == H101) return nominal.size() - 1;
  return static_cast<std::size_t>(std::find(nominal.begin(), nominal.end(), CommandOf(step)) - nominal.begin());
}

Lines ExpectedTraffic(const Lines& nominal, std::size_t faulted, const char* sent) {
  Lines expected(nominal.begin(), nominal.begin() + static_cast<long>(faulted));
  std::size_t next = faulted;  // the first command of the fault-free run not yet matched
  std::istringstream words(sent);
  for (std::string word; words >> word;) {
    if (word == "...") {
      expected.insert(expected.end(), nominal.begin() + static_cast<long>(next), nominal.end());
      next = nominal.size();
      continue;
    }
    expected.push_back(word);
    if (next < nominal.size() && nominal[next] == word) ++next;
  }
  return expected;
}

FaultRule RuleFor(const Cell& cell, const std::string& command, int skip) {
  FaultRule rule{.commandPrefix = command, .skip = skip};
  switch (cell.fault) {
    // A case table, laid out by hand.
    // clang-format off
    case Silent: rule.answer = Lines{}; break;
    case SilentOnce: rule.answer = Lines{}; rule.times = 1; break;
    case SilentTwice: rule.answer = Lines{}; rule.times = 2; break;
    case WrongStatus: rule.answer = Lines{"G002"}; break;
    case RejectedOnce: rule.answer = Lines{"G002"}; rule.times = 1; break;
    case GarbageFirst: rule.before = {Garbage}; break;
    case JustInTime: rule.delay = JustInTimeDelay; break;
    case TooLate: rule.delay = TooLateDelay; break;
    case HangUp: rule.hangUp = true; break;
      // clang-format on
  }
  return rule;
}

void AddFaults(ReceiverEmulator& emulator, const Cell& cell, const Lines& nominal, std::size_t faulted) {
  const auto occurrences = [&nominal](std::size_t index) {
    return static_cast<int>(std::count(nominal.begin(), nominal.begin() + static_cast<long>(index), nominal[index]));
  };
  emulator.AddFault(RuleFor(cell, nominal[faulted], occurrences(faulted)));
  // Only the latest line is looked at: a stray status line after a command
  // without answer is what the next command's wait finds only while that
  // command's own answer has not overtaken it. Hold that answer back a little.
  if (cell.fault == WrongStatus && (cell.step == G105 || cell.step == H100)) {
    emulator.AddFault(
        {.commandPrefix = nominal[faulted + 1], .skip = occurrences(faulted + 1), .times = 1, .delay = 50ms});
  }
}

// A line that dies during a change of speed may or may not die before the
// change has drained the line; if before, the drain tries its ten times.
std::chrono::milliseconds UnforeseenWait(const Cell& cell) {
  return cell.fault == HangUp && (cell.step == G105 || cell.step == H100) ? 1000ms : 0ms;
}

// The addresses transferred whole before the operation ended.
int Completed(const Cell& cell) {
  if (cell.step == H100 || cell.step == H101 || cell.result == 1) return static_cast<int>(EepromSize);
  return cell.step == Ld0Read || cell.step == Ld0Write ? FaultedAddress : 0;
}

// A delayed receiver reads the commands behind the delay late.
std::chrono::milliseconds Settle(Fault fault) {
  if (fault == JustInTime) return 150ms + JustInTimeDelay;
  if (fault == TooLate) return 150ms + TooLateDelay;
  return 150ms;
}

class FaultMatrixCell : public testing::LinkFixture {
 public:
  explicit FaultMatrixCell(const Cell& cell) : cell_(cell) {}
  void TestBody() override;

 private:
  const Cell cell_;
  TempDirectory directory;
};

void FaultMatrixCell::TestBody() {
  const Cell& cell = cell_;
  const Lines nominal = Nominal(cell.op);
  const std::size_t faulted = StepIndex(nominal, cell.step);
  AddFaults(receiver, cell, nominal, faulted);

  const EepromImage original = receiver.Memory();
  EepromImage destination{};
  for (std::size_t a = 0; a < EepromSize; ++a) destination[a] = static_cast<std::uint8_t>(~original[a]);
  const EepromImage untouched = destination;
  RecordingSink sink;

  if (cell.op != Snapshot) {
    ASSERT_TRUE(link.OpenPort(1));
  }
  const auto start = Clock::now();
  LinkResult<> transfer;  // the link's answer to a read or write
  int result = -1;
  switch (cell.op) {
    case Read: transfer = link.ReadEeprom(0, static_cast<int>(EepromSize), destination.data(), &sink); break;
    case Write: transfer = link.WriteEeprom(0, static_cast<int>(EepromSize), MediumValues.data(), &sink); break;
    case Snapshot: result = TakeSnapshot(link, directory.Path()) ? 1 : 0; break;
  }
  if (cell.op != Snapshot) result = transfer ? 1 : 0;
  const auto took = Clock::now() - start;
  EXPECT_EQ(result, cell.result) << transfer.Failure().step;
  EXPECT_GE(took, std::chrono::milliseconds(cell.waitMs));
  EXPECT_LT(took, std::chrono::milliseconds(cell.waitMs) + UnforeseenWait(cell) + Slack);

  // Nothing sent after the failure, nothing left out before it.
  const Lines expected = ExpectedTraffic(nominal, faulted, cell.sent);
  receiver.WaitForCommands(expected.size() + 1, Settle(cell.fault));
  const auto traffic = qlr::testing::Traffic(receiver);
  EXPECT_EQ(qlr::testing::CommandTexts(receiver), expected);
  ASSERT_FALSE(traffic.empty());
  EXPECT_EQ(traffic.back().second, cell.baud) << "speed of " << traffic.back().first;

  // The line left at its speed: a probe arrives at it, and the receiver's
  // mode matches it. A dead line has no speed left to look at.
  if (cell.fault != HangUp) {
    ASSERT_TRUE(link.Send(command::Region.text));
    ASSERT_EQ(receiver.WaitForCommands(traffic.size() + 1, 2s), traffic.size() + 1);
    EXPECT_EQ(receiver.Commands().back().baud, cell.baud) << "speed the line was left at";
    EXPECT_EQ(receiver.InServiceMode(), cell.baud == Service);
  }

  // The data: what was transferred before the failure, and nothing else.
  const auto done = static_cast<std::size_t>(Completed(cell));
  const bool entered = cell.result == 1 || cell.step >= Ld0Write;
  if (cell.op != Snapshot && cell.result == 0) {
    EXPECT_EQ(transfer.Failure().enteredServiceMode, entered);
    EXPECT_EQ(transfer.Failure().addressesDone, static_cast<int>(done));
  }
  if (cell.op != Snapshot) {
    EXPECT_EQ(sink.calls, entered ? RecordingSink::Transfer(done) : Lines{});
  }
  if (cell.op == Read) {
    EepromImage expectedDestination = untouched;
    std::copy_n(original.begin(), done, expectedDestination.begin());
    EXPECT_EQ(destination, expectedDestination);
  }
  if (cell.op == Write) {
    const EepromImage memory = receiver.Memory();
    for (std::size_t a = 0; a < EepromSize; ++a) {
      // The address a write failed at may or may not hold the new value.
      if (a == done && done == FaultedAddress) {
        continue;
      }
      EXPECT_EQ(memory[a], a < done ? MediumValues[a] : original[a]) << "address " << a;
    }
  }
  if (cell.op == Snapshot) {
    // The file appears whole, or not at all (and no temporary file is left).
    const fs::path file = directory / SnapshotFileName;
    const std::vector<unsigned char> expectedFile(original.begin(), original.end());
    if (cell.result == 1) {
      EXPECT_EQ(qlr::testing::ReadBytes(file), expectedFile);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), cell.result);
  }
}

const char* Name(Op op) { return op == Read ? "Read" : op == Write ? "Write" : "Snapshot"; }

std::string Name(Op op, Step step) {
  switch (step) {
    case G300: return "G300";
    case G105: return "G105";
    case GC01: return "GC01";
    case GCF0: return "GCF0";
    case Ld0Write: return "Write40";
    case Ld0Read: return op == Write ? "ReadBack40" : "Read40";
    case H100: return "H100";
    case H101: return "H101";
  }
  return {};
}

const char* Name(Fault fault) {
  switch (fault) {
    case Silent: return "Silent";
    case WrongStatus: return "WrongStatus";
    case GarbageFirst: return "GarbageFirst";
    case JustInTime: return "JustInTime";
    case TooLate: return "TooLate";
    case HangUp: return "HangUp";
    case SilentOnce: return "SilentOnce";
    case SilentTwice: return "SilentTwice";
    case RejectedOnce: return "RejectedOnce";
  }
  return "";
}

std::string CellName(const Cell& cell) {
  return std::string(Name(cell.op)) + "_" + Name(cell.op, cell.step) + "_" + Name(cell.fault);
}

// Registered one by one so that each cell is a test of its own for ctest,
// under a plain name.
[[maybe_unused]] const bool Registered = [] {
  for (const Cell& cell : Cells) {
    ::testing::RegisterTest("FaultMatrix", CellName(cell).c_str(), nullptr, nullptr, __FILE__, __LINE__,
                            [cell]() -> ::testing::Test* { return new FaultMatrixCell(cell); });
  }
  return true;
}();

}  // namespace
}  // namespace qlr
