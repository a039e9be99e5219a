// RunCli in-process, with its streams and the serial layer's system calls in
// the test's hands: what a pipe cannot show and what root cannot provoke.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "cli/cli_test_support.h"
#include "link/system_calls_posix.h"

namespace qlr::testing {
namespace {

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Tests run as root, for whom a device's mode bits deny nothing: the open
// itself is made to fail instead.
int refusedErrno = 0;
int RefusingOpen(const char*, int) {
  errno = refusedErrno;
  return -1;
}
SystemCalls RefusingCalls() {
  SystemCalls calls = SystemCalls::Real();
  calls.open = RefusingOpen;
  return calls;
}

// The tool's environment is the test's: the emulator behind port 1, the
// backups in the scratch folder.
class CliInProcess : public CliFixture {
 protected:
  CliRun RunInProcess(const std::vector<std::string>& words, bool terminal = false, const SystemCalls* calls = nullptr,
                      const std::string& input = {}) const {
    std::istringstream in(input);
    std::ostringstream out, err;
    const cli::CliEnvironment env{in, out, err, terminal, terminal, calls, variables};
    const int code = cli::RunCli(words, env);
    return {code, out.str(), err.str()};
  }
  // devices[0] is port 1; an empty entry is a port without device.
  void MapPorts(const std::vector<std::string>& devices) {
    std::string list;
    for (std::size_t i = 0; i < devices.size(); ++i) list += (i ? ":" : "") + devices[i];
    variables.Set(PortsVariable, list);
  }

  Environment variables{{PortsVariable, Device()}, {"XDG_DATA_HOME", File("data")}};
};

TEST_F(CliInProcess, AnOpenThatFailsSaysWhatToDo) {
  const SystemCalls calls = RefusingCalls();
  const std::pair<int, std::string> cases[] = {{EACCES, "permission denied on " + Device() + ": add your user to the "},
                                               {EBUSY, "device busy: " + Device() + " is in use by another program"}};
  for (const auto& [error, message] : cases) {
    refusedErrno = error;
    CliRun run = RunInProcess({"read", "--port", Device(), File("x.bin")}, false, &calls);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(Contains(run.err, "qlr5500: " + message)) << run.err;
    EXPECT_TRUE(Contains(run.err, "(failed step: open " + Device() + ")")) << run.err;
    // A scan that finds nothing names the ports it could not even open.
    run = RunInProcess({"find"}, false, &calls);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(Contains(run.err, "no receiver answered on ports 1 to 16")) << run.err;
    EXPECT_TRUE(Contains(run.err, "qlr5500: port 1: " + message)) << run.err;
  }
  EXPECT_TRUE(receiver.Commands().empty());
}

TEST_F(CliInProcess, ProgressBarOnlyOnATerminal) {
  for (const bool terminal : {true, false}) {
    const CliRun run = RunInProcess({"compare", File("same.bin", Memory())}, terminal);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Contains(run.err, "reading  ["), terminal) << run.err;
    EXPECT_EQ(Contains(run.err, "128/128]") || Contains(run.err, "] 128/128"), terminal) << run.err;
    if (terminal) {
      EXPECT_EQ(run.err.back(), '\n');
    }
  }
}

TEST_F(CliInProcess, WithoutAPortExactlyOneReceiverMustAnswer) {
  MapPorts({"/dev/qlr-none-at-all", Device()});
  CliRun run = RunInProcess({"region"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "2 EUR/AUS\n");

  emu::ReceiverEmulator second;
  MapPorts({Device(), "", second.DevicePath()});
  run = RunInProcess({"read", File("x.bin")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(Contains(run.err, "receivers answer on ports 1 (" + Device() + ") and 3 (" + second.DevicePath() +
                                    "): choose one with --port"))
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(File("x.bin")));
  EXPECT_EQ(RunInProcess({"find", "--all"}).out, "1 " + Device() + "\n3 " + second.DevicePath() + "\n");

  receiver.SetSilent(true);
  second.SetSilent(true);
  run = RunInProcess({"find"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.out, "");
}

TEST_F(CliInProcess, FailedVerificationTellsHowMuchWasWritten) {
  std::vector<unsigned char> image = Pattern(128);
  receiver.AddFault({.commandPrefix = "LD010", .storeInstead = static_cast<std::uint8_t>(image[0x10] ^ 0xFF)});
  const CliRun run = RunInProcess({"write", "--yes", "--no-backup", File("image.bin", image)});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_TRUE(Contains(run.err, "did not keep a value written (failed step: address 10 holds")) << run.err;
  EXPECT_TRUE(Contains(run.err, "the EEPROM is partly written (16 of 128 bytes written and verified)")) << run.err;
}

// The answer's pattern lets a literal 'x' pass for a digit.
TEST_F(CliInProcess, ARegionAnswerWithoutANumberIsAFailureThatSaysSo) {
  receiver.AddFault({.commandPrefix = "GE?", .answer = std::vector<std::string>{"GE1x"}});
  const CliRun run = RunInProcess({"region"});
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Contains(run.err, "(failed step: GE? answered GE1x)")) << run.err;
}

TEST_F(CliInProcess, ConfirmationIsAskedAfterTheReceiverAnswered) {
  const std::string image = File("image.bin", Pattern(128));
  CliRun run = RunInProcess({"medium"}, true, nullptr, "no\n");
  EXPECT_EQ(run.exitCode, 2);
  // What will change, then the question; the EEPROM read to tell, nothing written.
  EXPECT_TRUE(Contains(run.err, "differs from the medium values in 126 bytes:\naddress  receiver  new\n0x00     0B"))
      << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "0x0F     36        D0\n... and 110 more\nwrite the medium values into the EEPROM of "
                       "the receiver on " +
                           Device() + "? [y/N]"))
      << run.err;
  for (const std::string& text : CommandTexts(receiver)) EXPECT_FALSE(text.size() == 7 && text[5] != '?') << text;

  run = RunInProcess({"write", image}, true, nullptr, "yes\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Memory(), Pattern(128));
}

// The trace of a read: every command the receiver heard, in order, at the
// speed it heard it; every line it sent, unasked and odd ones too; no trace
// at all, and nothing sent, when its file cannot be made.
TEST_F(CliInProcess, TraceHoldsEverythingThatCrossedTheLine) {
  CliRun run = RunInProcess({"read", "--port", "1", "--trace", File("none/trace.txt"), File("x.bin")});
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_TRUE(Contains(run.err, "cannot write the trace " + File("none/trace.txt") + " (No such file or directory)"))
      << run.err;
  EXPECT_TRUE(receiver.Commands().empty());

  receiver.AddFault({.commandPrefix = "LD040?", .before = {std::string("\0\xF8\\\r", 4)}});
  run = RunInProcess({"read", "--port", "1", "--trace", File("trace.txt"), File("x.bin")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::ifstream trace(File("trace.txt"));
  std::string line;
  std::getline(trace, line);
  EXPECT_TRUE(line.starts_with("# qlr5500 ")) << line;
  std::vector<std::pair<std::string, unsigned>> sent;
  std::vector<std::string> received;
  for (std::string last; std::getline(trace, last); line = last) {
    // "    21.779 ms   9600 8N2  > H101"
    std::istringstream fields(last);
    std::string time, unit, baud, framing, direction, text;
    fields >> time >> unit >> baud >> framing >> direction >> text;
    if (direction == ">") sent.emplace_back(text, std::stoul(baud));
    if (direction == "<") received.push_back(text);
  }
  EXPECT_EQ(sent, Traffic(receiver));
  // G105 and H100 go unanswered; the odd line comes on top.
  EXPECT_EQ(received.size(), sent.size() - 2 + 1);
  EXPECT_EQ(std::count(received.begin(), received.end(), "\\x00\\xF8\\\\\\r"), 1);
  EXPECT_TRUE(line.ends_with(" ms          -  closed")) << line;
}

TEST_F(CliInProcess, AResultThatCannotBeWrittenIsAFailure) {
  std::istringstream in;
  std::ostringstream out, err;
  out.setstate(std::ios::badbit);
  const cli::CliEnvironment env{in, out, err};
  EXPECT_EQ(cli::RunCli({"dump", File("m.bin", Bytes(MediumValues))}, env), 4);
  EXPECT_TRUE(Contains(err.str(), "cannot write the result to standard output"));
}

}  // namespace
}  // namespace qlr::testing
