// Linux's side of the serial layer: the driver's low-latency flag, through
// the system-call seam (a pty has no serial driver to ask).
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <vector>

#include "link/serial_port.h"
#include "link/system_calls_posix.h"
#include "support/pty_pair.h"

namespace qlr {
namespace {

int driverFlags = 0;
std::vector<int> flagsSet;

int FakeSerialDriver(int fd, unsigned long request, void* argument) {
  if (request == TIOCGSERIAL) {
    static_cast<serial_struct*>(argument)->flags = driverFlags;
    return 0;
  }
  if (request == TIOCSSERIAL) {
    driverFlags = static_cast<const serial_struct*>(argument)->flags;
    flagsSet.push_back(driverFlags);
    return 0;
  }
  return ::ioctl(fd, request, argument);
}

TEST(SerialPortLowLatency, IsAskedForWhileOpenAndTheDriversOwnSettingComesBack) {
  SystemCalls calls = SystemCalls::Real();
  calls.ioctl = FakeSerialDriver;
  qlr::testing::PtyPair pty;
  for (const int before : {ASYNC_SPD_HI, ASYNC_SPD_HI | ASYNC_LOW_LATENCY}) {
    driverFlags = before;
    flagsSet.clear();
    SerialPort port(&calls);
    ASSERT_TRUE(port.Open(pty.Path()));
    EXPECT_EQ(driverFlags, before | ASYNC_LOW_LATENCY);
    EXPECT_TRUE(port.LowLatencyGranted());
    port.Close();
    EXPECT_EQ(driverFlags, before);
    EXPECT_FALSE(port.LowLatencyGranted());
    // A driver that already delivers at once is left alone.
    EXPECT_EQ(flagsSet.size(), (before & ASYNC_LOW_LATENCY) ? 0u : 2u);
  }
  // A pty has no such setting to grant.
  SerialPort real;
  ASSERT_TRUE(real.Open(pty.Path()));
  EXPECT_FALSE(real.LowLatencyGranted());
}

}  // namespace
}  // namespace qlr
