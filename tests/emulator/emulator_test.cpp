#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "emulator/receiver_emulator.h"
#include "os/unique_fd.h"

namespace qlr::emu {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

// The client's end, configured the way the real programs configure a port.
class Client {
 public:
  explicit Client(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
    EXPECT_GE(fd_.Get(), 0);
    SetLine(B9600);
  }

  void SetLine(speed_t speed, bool twoStopBits = true, bool flush = true) {
    termios t{};
    ASSERT_EQ(::tcgetattr(fd_.Get(), &t), 0);
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD | (twoStopBits ? CSTOPB : 0);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    ASSERT_EQ(::tcsetattr(fd_.Get(), TCSANOW, &t), 0);
    if (flush) ::tcflush(fd_.Get(), TCIFLUSH);
  }

  void Send(const std::string& command) {
    const std::string line = command + "\r\n";
    ASSERT_EQ(::write(fd_.Get(), line.data(), line.size()), static_cast<ssize_t>(line.size()));
  }

  // The next answer line without its CR LF, or nothing within `limit`.
  std::optional<std::string> Read(Ms limit = 2000ms) {
    const auto deadline = Clock::now() + limit;
    std::string line;
    while (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) {
      const auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
      pollfd p{fd_.Get(), POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
      char c;
      if (::read(fd_.Get(), &c, 1) != 1) return std::nullopt;
      line += c;
    }
    return line.substr(0, line.size() - 2);
  }

  std::optional<std::string> Ask(const std::string& command) {
    Send(command);
    return Read();
  }

  int fd() const { return fd_.Get(); }

 private:
  UniqueFd fd_;
};

void EnterServiceMode(Client& client) {
  ASSERT_EQ(client.Ask("G300"), "G000");
  client.Send("G105");
  client.SetLine(B38400);
}

TEST(ReceiverEmulatorTest, AnswersInBothModesAndFollowsSpeedChanges) {
  ReceiverEmulator emu;
  emu.SetRegion(0x1A);
  Client client(emu.DevicePath());
  EXPECT_EQ(client.Ask("H101"), "G000");
  EXPECT_EQ(client.Ask("GE?"), "GE1A");
  client.Send("LD005?");  // service-mode command in normal mode: no answer
  EXPECT_EQ(client.Ask("H101"), "G000");

  EnterServiceMode(client);
  EXPECT_EQ(client.Ask("GC01"), "G001");
  EXPECT_TRUE(emu.InServiceMode());
  EXPECT_EQ(client.Ask("GCF0"), "G001");
  EXPECT_EQ(client.Ask("LD005?"), "LD005C4");  // (5 * 37 + 11) & 0xFF
  EXPECT_EQ(client.Ask("LD07e5a"), "G000");
  EXPECT_EQ(client.Ask("LD07E?"), "LD07E5A");
  EXPECT_EQ(emu.Memory()[0x7E], 0x5A);
  client.Send("LD080?");  // beyond the memory: no answer
  client.Send("XYZ");
  EXPECT_EQ(client.Ask("GE?"), "GE1A");

  client.Send("H100");
  client.SetLine(B9600);
  EXPECT_EQ(client.Ask("H101"), "G000");
  EXPECT_FALSE(emu.InServiceMode());

  // "G105" and "H100" count as sent at the old speed even if the client
  // switched before the emulator looked.
  const auto cmds = emu.Commands();
  ASSERT_EQ(cmds.size(), 16u);
  for (const auto& c : cmds) {
    EXPECT_FALSE(c.garbled) << c.text;
    EXPECT_TRUE(c.framingOk) << c.text;
  }
  EXPECT_EQ(cmds[6].text, "GC01");
  EXPECT_EQ(cmds[6].baud, 38400u);
}

TEST(ReceiverEmulatorTest, WrongSpeedOrFramingIsRecordedGarbledAndIgnored) {
  ReceiverEmulator emu;
  Client client(emu.DevicePath());
  client.SetLine(B38400);
  client.Send("GE?");
  ASSERT_EQ(emu.WaitForCommands(1, 2000ms), 1u);
  client.SetLine(B9600, /*twoStopBits=*/false, /*flush=*/false);
  client.Send("GE?");
  ASSERT_EQ(emu.WaitForCommands(2, 2000ms), 2u);
  client.SetLine(B9600, true, /*flush=*/false);
  // Had either been answered, its answer would come first.
  EXPECT_EQ(client.Ask("H101"), "G000");

  const auto cmds = emu.Commands();
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0].baud, 38400u);
  EXPECT_TRUE(cmds[0].framingOk);
  EXPECT_TRUE(cmds[0].garbled);
  EXPECT_EQ(cmds[1].baud, 9600u);
  EXPECT_FALSE(cmds[1].framingOk);
  EXPECT_TRUE(cmds[1].garbled);
  EXPECT_FALSE(cmds[2].garbled);
}

TEST(ReceiverEmulatorTest, FaultRulesReplaceSilenceAndFalsifyAnswers) {
  ReceiverEmulator emu;
  using Lines = std::vector<std::string>;
  emu.AddFault({.commandPrefix = "GE?", .skip = 1, .times = 1, .answer = Lines{"GE7F"}, .before = {"#?"}});
  emu.AddFault({.commandPrefix = "H101", .times = 1, .answer = Lines{}});
  emu.AddFault({.commandPrefix = "LD012", .storeInstead = 0x00});
  Client client(emu.DevicePath());

  EXPECT_EQ(client.Ask("GE?"), "GE02");  // skipped
  EXPECT_EQ(client.Ask("GE?"), "#?");
  EXPECT_EQ(client.Read(), "GE7F");
  EXPECT_EQ(client.Ask("GE?"), "GE02");  // used up
  client.Send("H101");                   // silenced once
  EXPECT_EQ(client.Ask("H101"), "G000");

  EnterServiceMode(client);
  EXPECT_EQ(client.Ask("LD01277"), "G000");
  EXPECT_EQ(client.Ask("LD012?"), "LD01200");
  EXPECT_EQ(client.Ask("LD01333"), "G000");
  EXPECT_EQ(client.Ask("LD013?"), "LD01333");
  EXPECT_EQ(emu.Commands().size(), 11u);  // all recorded, answered or not
}

TEST(ReceiverEmulatorTest, SilentModeRecordsButDoesNotAnswer) {
  ReceiverEmulator emu({.silent = true});
  Client client(emu.DevicePath());
  client.Send("H101");
  ASSERT_EQ(emu.WaitForCommands(1, 2000ms), 1u);
  emu.SetSilent(false);
  EXPECT_EQ(client.Ask("GE?"), "GE02");
}

TEST(ReceiverEmulatorTest, HangUpClosesTheLine) {
  ReceiverEmulator emu;
  emu.AddFault({.commandPrefix = "GE?", .hangUp = true});
  Client client(emu.DevicePath());
  EXPECT_EQ(client.Ask("H101"), "G000");
  client.Send("GE?");
  pollfd p{client.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  EXPECT_TRUE(emu.HungUp());
  EXPECT_EQ(emu.Commands().size(), 2u);
}

// Every exchange takes at least its wire time at the client's speed. A busy
// machine may delay any one exchange, so the upper bound is on the quickest.
TEST(ReceiverEmulatorTest, PacingTakesTheWireTimeAtTheClientsSpeed) {
  ReceiverEmulator emu({.pace = true});
  Client client(emu.DevicePath());
  auto wire = [](std::size_t chars, unsigned baud) {
    return std::chrono::nanoseconds(chars * 11'000'000'000ULL / baud);
  };
  auto quickest = [&](const std::string& command, const std::string& answer, unsigned baud) {
    const auto ideal = wire(command.size() + answer.size() + 4, baud);
    auto best = Clock::duration::max();
    for (int i = 0; i < 6; ++i) {
      const auto t = Clock::now();
      EXPECT_EQ(client.Ask(command), answer);
      const auto took = Clock::now() - t;
      EXPECT_GE(took, ideal) << command;
      best = std::min(best, took);
    }
    EXPECT_LE(best, ideal * 3 / 2 + 10ms) << command;
  };

  quickest("H101", "G000", 9600);
  // "G105" holds the line for its wire time, delaying the next answer.
  const auto start = Clock::now();
  EnterServiceMode(client);
  EXPECT_EQ(client.Ask("GC01"), "G001");
  EXPECT_GE(Clock::now() - start, wire(12 + 6, 9600) + wire(12, 38400));
  quickest("LD010?", "LD0105B", 38400);
}

}  // namespace
}  // namespace qlr::emu
