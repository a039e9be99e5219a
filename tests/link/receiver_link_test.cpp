// The link's transport over a real pty: opening, the exchange of a command
// for an answer line, bounded waits, and closing whatever the line does.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "link/receiver_commands.h"
#include "link/receiver_link.h"
#include "link/system_calls_posix.h"
#include "support/link_fixture.h"
#include "support/pty_pair.h"

namespace qlr {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qlr::emu::FaultRule;
using qlr::emu::ReceiverEmulator;
using qlr::testing::CommandTexts;
using qlr::testing::ScopedPorts;
using qlr::testing::Timed;

using LinkTest = testing::LinkFixture;

TEST_F(LinkTest, OpensClosesAndReopens) {
  ASSERT_TRUE(link.OpenPort(1));
  EXPECT_EQ(link.PortNumber(), 1);
  EXPECT_EQ(link.Device(), receiver.DevicePath());
  EXPECT_TRUE(link.SendAndAwaitOk("H101\r\n"));

  // Opening an open link closes it first and starts a new reader.
  ASSERT_TRUE(link.OpenPort(1));
  EXPECT_TRUE(link.SendAndAwaitOk("H101\r\n"));

  // A port without a device fails, and the port open before is closed too.
  const LinkResult<> missing = link.OpenPort(2);
  EXPECT_FALSE(missing);
  EXPECT_EQ(link.PortNumber(), 0);
  EXPECT_EQ(missing.Failure().sysErrno, ENODEV);
  EXPECT_FALSE(link.OpenPort(17));

  link.ClosePort();
  link.ClosePort();
  EXPECT_EQ(link.PortNumber(), 0);
  EXPECT_EQ(link.LastLine(), "");
}

TEST_F(LinkTest, ClosedLinkSendsNothingAndFailsAtOnce) {
  const auto took = Timed([&] {
    EXPECT_FALSE(link.Send(command::Presence.text));
    EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n"));
    EXPECT_FALSE(link.SendAndAwait("GE?\r\n", "GExx"));
    EXPECT_FALSE(link.SetLineFormat(38400, 8, Parity::None, StopBits::Two));
  });
  EXPECT_LT(took, 100ms);
  EXPECT_EQ(receiver.WaitForCommands(1, 100ms), 0u);
}

TEST_F(LinkTest, StatusLinesDecideAndOtherLinesAreSkipped) {
  ASSERT_TRUE(link.OpenPort(1));
  receiver.AddFault({.commandPrefix = "H101", .times = 1, .answer = std::vector<std::string>{"G001"}});
  EXPECT_LT(Timed([&] { EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n")); }), 400ms);

  receiver.AddFault({.commandPrefix = "H101", .times = 1, .answer = std::vector<std::string>{"XYZ", "G000"}});
  EXPECT_TRUE(link.SendAndAwaitOk("H101\r\n"));

  receiver.AddFault({.commandPrefix = "GE?", .times = 1, .answer = std::vector<std::string>{"G000", "GE0A"}});
  ASSERT_TRUE(link.SendAndAwait("GE?\r\n", "GExx"));
  EXPECT_EQ(link.AnswerLine(), "GE0A\r\n");
  EXPECT_TRUE(link.LineMatches("GExx"));
  EXPECT_FALSE(link.LineMatches("G00x"));
}

TEST_F(LinkTest, SilenceFailsAfterHalfASecondAndKeepsTheLinkOpen) {
  ASSERT_TRUE(link.OpenPort(1));
  receiver.SetSilent(true);
  const auto took = Timed([&] { EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n")); });
  EXPECT_GE(took, 490ms);
  EXPECT_LT(took, 1500ms);
  EXPECT_EQ(link.PortNumber(), 1);
  receiver.SetSilent(false);
  EXPECT_TRUE(link.SendAndAwaitOk("H101\r\n"));
}

// One signal stands for any number of lines that came while nobody waited:
// the next exchange examines the latest of them first.
TEST_F(LinkTest, ALineThatCameUnaskedIsExaminedByTheNextExchange) {
  ASSERT_TRUE(link.OpenPort(1));
  ASSERT_TRUE(link.Send(command::Presence.text));
  ASSERT_EQ(receiver.WaitForCommands(1, 1s), 1u);
  std::this_thread::sleep_for(50ms);
  // The receiver ignores "NOP"; the earlier "G000" is taken as its answer.
  EXPECT_TRUE(link.SendAndAwaitOk("NOP\r\n"));

  ASSERT_TRUE(link.Send(command::Region.text));
  ASSERT_EQ(receiver.WaitForCommands(3, 1s), 3u);
  std::this_thread::sleep_for(50ms);
  // A line that does not match is skipped, and silence follows.
  EXPECT_FALSE(link.SendAndAwaitOk("NOP\r\n"));
}

TEST_F(LinkTest, HangUpEndsReadingWithoutSpinningAndTheLinkRecovers) {
  ASSERT_TRUE(link.OpenPort(1));
  receiver.AddFault({.commandPrefix = "H101", .hangUp = true});
  const double cpuBefore = qlr::testing::ProcessCpuSeconds();
  const auto took = Timed([&] { EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n")); });
  EXPECT_LT(took, 1500ms);
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(qlr::testing::ProcessCpuSeconds() - cpuBefore, 0.2);
  EXPECT_LT(Timed([&] { link.ClosePort(); }), 100ms);

  ReceiverEmulator replacement;
  ScopedPorts ports2({replacement.DevicePath()});
  ASSERT_TRUE(link.OpenPort(1));
  EXPECT_TRUE(link.SendAndAwaitOk("H101\r\n"));
}

TEST(LinkTransport, ALineIsHandedOverWholeAndWrapsPast256Characters) {
  qlr::testing::PtyPair pty;
  ScopedPorts ports({pty.Path()});
  CReceiverLink link;
  ASSERT_TRUE(link.OpenPort(1));
  std::string line;
  for (int i = 0; i < 300; ++i) line += static_cast<char>('a' + i % 26);
  pty.Send("\r\n\r\n" + line + "\n");
  const auto deadline = Clock::now() + 1s;
  while (link.LastLine().empty() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(link.LastLine(), line.substr(256) + "\n");
}

// What the link told its trace, one word and a number per call.
class RecordingTrace : public LineTrace {
 public:
  void PortOpened(Clock::time_point, const std::string&, int sysErrno) override { Add("open", sysErrno); }
  void LineFormatSet(Clock::time_point, const LineFormat& format, int) override { Add("format", format.baud); }
  void Sending(Clock::time_point, std::string_view bytes) override { Add("sending", bytes.size()); }
  void WriteFailed(Clock::time_point, int sysErrno) override { Add("write failed", sysErrno); }
  void LineReceived(Clock::time_point, std::string_view line) override { Add("received", line.size()); }
  void LineDown(Clock::time_point) override { Add("line down", 0); }
  void PortClosed(Clock::time_point) override { Add("closed", 0); }

  std::vector<std::string> Events() const {
    const std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  template <typename Number>
  void Add(const char* what, Number number) {
    const std::lock_guard lock(mutex_);
    events_.push_back(what + (" " + std::to_string(number)));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> events_;
};

// The trace shows what was sent even when the write fails.
TEST(LinkTransport, AWriteThatCannotFinishClosesTheLink) {
  qlr::testing::PtyPair pty;  // nobody reads the far end
  ScopedPorts ports({pty.Path()});
  RecordingTrace trace;
  CReceiverLink link(nullptr, nullptr, &trace);
  ASSERT_TRUE(link.OpenPort(1));
  const std::string flood(1 << 20, 'x');
  const auto took = Timed([&] { EXPECT_FALSE(link.WriteRaw(flood.data(), static_cast<std::uint32_t>(flood.size()))); });
  EXPECT_GE(took, 490ms);
  EXPECT_LT(took, 2000ms);
  EXPECT_EQ(link.PortNumber(), 0);
  EXPECT_EQ(link.LastLine(), "");
  EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n"));
  EXPECT_EQ(trace.Events(),
            (std::vector<std::string>{"open 0", "format 9600", "sending 1048576", "write failed 0", "closed 0"}));
}

// Ptys never report bytes waiting for output; a device that does makes the
// format change wait its ten drain tries.
int OutputNeverDrains(int fd, unsigned long request, void* argument) {
  if (request == TIOCOUTQ) {
    *static_cast<int*>(argument) = 1;
    return 0;
  }
  return ::ioctl(fd, request, argument);
}

TEST(LinkTransport, FormatChangeWaitsAtMostItsDrainTime) {
  qlr::testing::PtyPair pty;
  ScopedPorts ports({pty.Path()});
  SystemCalls calls = SystemCalls::Real();
  calls.ioctl = OutputNeverDrains;
  CReceiverLink link(&calls);
  const auto took = Timed([&] { ASSERT_TRUE(link.OpenPort(1)); });
  EXPECT_GE(took, 1000ms);
  EXPECT_LT(took, 2500ms);
}

}  // namespace
}  // namespace qlr
