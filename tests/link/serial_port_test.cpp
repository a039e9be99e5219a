// The POSIX serial layer on real pseudo-terminals.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <future>
#include <thread>

#include "link/found_settings_posix.h"
#include "link/receiver_link.h"
#include "link/serial_port.h"
#include "link/system_calls_posix.h"
#include "support/link_fixture.h"
#include "support/pty_pair.h"

namespace qlr {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qlr::testing::ProcessCpuSeconds;
using qlr::testing::PtyPair;
using qlr::testing::ScopedPorts;
using qlr::testing::SettingsOf;

// Opens the pty's device in the line format of the receiver's normal mode.
bool OpenAt9600(SerialPort& port, const PtyPair& pty) {
  return port.Open(pty.Path()) && port.SetLineFormat(9600, 8, Parity::None, StopBits::Two);
}

std::future<SerialPort::ReadResult> ReadInBackground(SerialPort& port) {
  return std::async(std::launch::async, [&port] {
    std::uint8_t byte = 0;
    return port.ReadByte(byte);
  });
}

TEST(SerialPortOpen, FailsCleanlyForMissingAndBusyDevices) {
  SerialPort port;
  const SerialResult<> missing = port.Open("/dev/qlr-no-such-device");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.Failure().sysErrno, ENOENT);
  EXPECT_FALSE(port.IsOpen());

  PtyPair pty;
  ASSERT_TRUE(port.Open(pty.Path()));
  SerialPort second;
  const SerialResult<> busy = second.Open(pty.Path());
  EXPECT_FALSE(busy);
  EXPECT_EQ(busy.Failure().sysErrno, EBUSY);

  // Closing gives the device back, also to ourselves.
  port.Close();
  EXPECT_TRUE(second.Open(pty.Path()));
  second.Close();
  EXPECT_TRUE(port.Open(pty.Path()));
}

TEST(SerialPortLineFormat, RawEightBitsTwoStopBitsNoFlowControl) {
  PtyPair pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.Path()));
  for (const std::uint32_t baud : {9600u, 38400u}) {
    ASSERT_TRUE(port.SetLineFormat(baud, 8, Parity::None, StopBits::Two));
    const termios settings = pty.ClientSettings();
    EXPECT_EQ(cfgetospeed(&settings), baud == 9600 ? B9600 : B38400);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(settings.c_cflag & CSTOPB);
    EXPECT_TRUE(settings.c_cflag & CLOCAL);
    EXPECT_TRUE(settings.c_cflag & CREAD);
    EXPECT_FALSE(settings.c_cflag & (PARENB | CRTSCTS));
    EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP));
    EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(settings.c_oflag & OPOST);
  }
  EXPECT_FALSE(port.SetLineFormat(12345, 8, Parity::None, StopBits::Two));
}

int RefusingFlush(int, int) {
  errno = EIO;
  return -1;
}

// Every way a port is let go of puts back what the device had: a console or
// a modem that a scan passed through must work as before.
TEST(SerialPortSettings, EveryWayOutLeavesTheDeviceAsItWasFound) {
  PtyPair pty;
  const std::string found = SettingsOf(pty.Path());
  ASSERT_NE(found, "");
  const auto leaveBy = [&](const char* way, auto&& leave) {
    SCOPED_TRACE(way);
    leave();
    EXPECT_EQ(SettingsOf(pty.Path()), found);
  };
  leaveBy("Close after a change of speed", [&] {
    SerialPort port;
    ASSERT_TRUE(OpenAt9600(port, pty));
    ASSERT_TRUE(port.SetLineFormat(38400, 8, Parity::None, StopBits::Two));
    ASSERT_NE(SettingsOf(pty.Path()), found);
    port.Close();
  });
  leaveBy("the destructor", [&] {
    SerialPort port;
    ASSERT_TRUE(OpenAt9600(port, pty));
  });
  leaveBy("an open that fails after the line was set", [&] {
    SystemCalls calls = SystemCalls::Real();
    calls.tcflush = RefusingFlush;
    ScopedPorts ports({pty.Path()});
    CReceiverLink link(&calls);
    EXPECT_FALSE(link.OpenPort(1));
  });
  leaveBy("a signal that ends the program while the port is open", [&] {
    SerialPort port;
    ASSERT_TRUE(OpenAt9600(port, pty));
    RestoreOpenSerialPorts();
  });
  // A port closed since is no longer the signal's to touch.
  {
    SerialPort port;
    ASSERT_TRUE(OpenAt9600(port, pty));
  }
  termios changedSince{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &changedSince), 0);
  cfmakeraw(&changedSince);
  ASSERT_EQ(::tcsetattr(pty.Slave(), TCSANOW, &changedSince), 0);
  const std::string changed = SettingsOf(pty.Path());
  RestoreOpenSerialPorts();
  EXPECT_EQ(SettingsOf(pty.Path()), changed);
}

// A device that refuses the modem-line requests (as ptys do with ENOTTY, and
// some adapters with EIO) is still usable.
int RefusingModemLines(int fd, unsigned long request, void* argument) {
  if (request == TIOCMBIS || request == TIOCMBIC) {
    errno = EIO;
    return -1;
  }
  return ::ioctl(fd, request, argument);
}

TEST(SerialPortLineFormat, RefusedModemLinesAreNoFailure) {
  SystemCalls calls = SystemCalls::Real();
  calls.ioctl = RefusingModemLines;
  PtyPair pty;
  SerialPort port(&calls);
  ASSERT_TRUE(port.Open(pty.Path()));
  EXPECT_TRUE(port.SetLineFormat(9600, 8, Parity::None, StopBits::Two));
}

TEST(SerialPortTransfer, EveryByteValuePassesBothWays) {
  PtyPair pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.Path()));
  ASSERT_TRUE(port.SetLineFormat(38400, 8, Parity::None, StopBits::Two));
  ASSERT_TRUE(port.PurgeInput());

  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  ASSERT_TRUE(port.Write(all.data(), all.size(), 500ms));
  EXPECT_EQ(pty.Receive(), all);

  pty.Send(all);
  std::string received;
  std::uint8_t byte = 0;
  while (received.size() < all.size() && port.ReadByte(byte) == SerialPort::ReadResult::Byte) {
    received += static_cast<char>(byte);
  }
  EXPECT_EQ(received, all);
  const SerialResult<QueuedBytes> queued = port.QueueCounts();
  ASSERT_TRUE(queued);
  EXPECT_EQ(queued.Value().input, 0u);
}

TEST(SerialPortTransfer, WriteGivesUpAtItsLimitWhenNobodyReads) {
  PtyPair pty;
  SerialPort port;
  ASSERT_TRUE(OpenAt9600(port, pty));
  const std::string flood(1 << 20, 'x');
  const auto start = Clock::now();
  EXPECT_FALSE(port.Write(flood.data(), flood.size(), 200ms));
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 195ms);
  EXPECT_LT(took, 1500ms);
}

TEST(SerialPortReader, WakesPromptlyAndStopsOnHangUpWithoutSpinning) {
  PtyPair pty;
  SerialPort port;
  ASSERT_TRUE(OpenAt9600(port, pty));

  auto woken = ReadInBackground(port);
  EXPECT_EQ(woken.wait_for(100ms), std::future_status::timeout);  // blocked, no byte
  port.WakeReader();
  ASSERT_EQ(woken.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(woken.get(), SerialPort::ReadResult::Woken);

  ASSERT_TRUE(OpenAt9600(port, pty));  // a fresh open is not woken any more
  auto hungUp = ReadInBackground(port);
  EXPECT_EQ(hungUp.wait_for(100ms), std::future_status::timeout);
  pty.HangUp();
  ASSERT_EQ(hungUp.wait_for(1s), std::future_status::ready);
  EXPECT_EQ(hungUp.get(), SerialPort::ReadResult::LineDown);

  // Every later read reports the dead line at once instead of blocking or
  // spinning inside.
  const double cpuBefore = ProcessCpuSeconds();
  std::uint8_t byte = 0;
  for (int i = 0; i < 100; ++i) EXPECT_EQ(port.ReadByte(byte), SerialPort::ReadResult::LineDown);
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.1);
}

}  // namespace
}  // namespace qlr
