// The adapter pulled out in the middle of a read, a write, a scan and an
// answer line: the operation fails within its waits, the process does not
// spin on the dead line, the link opens again on a new device, and nothing
// half written is left on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/snapshot.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"
#include "support/link_fixture.h"
#include "support/pty_pair.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using emu::ReceiverEmulator;
using qlr::testing::EmulatedLink;
using qlr::testing::ProcessCpuSeconds;
using qlr::testing::ScopedPorts;
using qlr::testing::TempDirectory;
using qlr::testing::Timed;

// How long the test watches the dead line after the operation has given up:
// a reader that retried its reads would burn a core all that time.
constexpr auto Aftermath = 1000ms;
// Any spinning shows as most of the wall time; an idle process needs a few ms.
constexpr double CpuShareLimit = 0.05;
constexpr auto Slack = 450ms;

// Wall and CPU time of the whole process from the moment the receiver heard
// `command` (and then hung up) until the end of Aftermath.
class HangUpClock {
 public:
  HangUpClock(ReceiverEmulator& emulator, std::string command) : emulator_(emulator) {
    emulator_.SetObserver([this, command = std::move(command)](const emu::RecordedCommand& heard) {
      if (heard.text != command || started_.load()) return;
      cpuAtHangUp_.store(ProcessCpuSeconds());
      wallAtHangUp_.store(Clock::now().time_since_epoch().count());
      started_.store(true);
    });
  }
  ~HangUpClock() { emulator_.SetObserver({}); }
  HangUpClock(const HangUpClock&) = delete;
  HangUpClock& operator=(const HangUpClock&) = delete;

  // Watches the aftermath, then reports the CPU time spent since the hang-up.
  void ExpectNoSpinning(const char* what) {
    std::this_thread::sleep_for(Aftermath);
    ASSERT_TRUE(started_.load()) << "the receiver never heard the command it hangs up on";
    const double cpu = ProcessCpuSeconds() - cpuAtHangUp_.load();
    const double wall =
        std::chrono::duration<double>(Clock::now().time_since_epoch() - Clock::duration(wallAtHangUp_.load())).count();
    std::printf("[ figures  ] %s: %.3f s CPU over %.3f s after the hang-up\n", what, cpu, wall);
    ::testing::Test::RecordProperty("cpu_ms_after_hangup", static_cast<int>(cpu * 1000));
    EXPECT_LT(cpu, CpuShareLimit * wall) << what;
  }

 private:
  ReceiverEmulator& emulator_;
  std::atomic<bool> started_{false};
  std::atomic<double> cpuAtHangUp_{0};
  std::atomic<Clock::rep> wallAtHangUp_{0};
};

// The dead device is gone for good; a new one is used like the first.
void ExpectReopensOnAFreshReceiver(CReceiverLink& link) {
  EXPECT_LT(Timed([&] { link.ClosePort(); }), 100ms);
  EXPECT_FALSE(link.OpenPort(1));
  EXPECT_EQ(link.PortNumber(), 0);

  testing::EmulatedReceiver fresh;
  ASSERT_TRUE(link.OpenPort(1));
  EepromImage image{};
  EXPECT_TRUE(link.ReadEeprom(0, static_cast<int>(EepromSize), image.data(), nullptr));
  EXPECT_EQ(image, fresh.receiver.Memory());
}

using UnpluggedAdapter = testing::LinkFixture;

TEST_F(UnpluggedAdapter, MidReadFailsInOneWaitKeepsWhatItReadAndRecovers) {
  receiver.AddFault({.commandPrefix = "LD040?", .hangUp = true});
  HangUpClock clock(receiver, "LD040?");
  ASSERT_TRUE(link.OpenPort(1));
  EepromImage image;
  image.fill(0x5A);
  const auto took =
      Timed([&] { EXPECT_FALSE(link.ReadEeprom(0, static_cast<int>(EepromSize), image.data(), nullptr)); });
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 500ms + Slack);
  clock.ExpectNoSpinning("read");

  const EepromImage memory = receiver.Memory();
  for (std::size_t a = 0; a < EepromSize; ++a) EXPECT_EQ(image[a], a < 0x40 ? memory[a] : 0x5A) << a;
  ExpectReopensOnAFreshReceiver(link);
}

TEST_F(UnpluggedAdapter, MidWriteFailsClosesTheLinkAndRecovers) {
  const EepromImage original = receiver.Memory();
  receiver.AddFault({.commandPrefix = "LD0407B", .hangUp = true});
  HangUpClock clock(receiver, "LD0407B");
  ASSERT_TRUE(link.OpenPort(1));
  const auto took =
      Timed([&] { EXPECT_FALSE(link.WriteEeprom(0, static_cast<int>(EepromSize), MediumValues.data(), nullptr)); });
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 500ms + Slack);
  // The retry's write met the dead line, which closes the link.
  EXPECT_EQ(link.PortNumber(), 0);
  clock.ExpectNoSpinning("write");

  // What was verified stays written; the rest of the receiver is as it was.
  const EepromImage memory = receiver.Memory();
  for (std::size_t a = 0; a < EepromSize; ++a) {
    if (a != 0x40) {
      EXPECT_EQ(memory[a], a < 0x40 ? MediumValues[a] : original[a]) << a;
    }
  }
  ExpectReopensOnAFreshReceiver(link);
}

TEST(UnpluggedAdapterScan, TheScanPassesADeadPortAndFindsTheReceiverBehindIt) {
  ReceiverEmulator unplugged;
  ReceiverEmulator receiver;
  unplugged.AddFault({.commandPrefix = "H101", .hangUp = true});
  HangUpClock clock(unplugged, "H101");
  ScopedPorts ports({unplugged.DevicePath(), receiver.DevicePath()});
  CReceiverLink link;
  // One unanswered try; the second try's write meets the dead line.
  const auto took = Timed([&] { EXPECT_TRUE(link.FindReceiver()); });
  EXPECT_EQ(link.PortNumber(), 2);
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 500ms + Slack);
  clock.ExpectNoSpinning("scan");
  EXPECT_EQ(qlr::testing::CommandTexts(unplugged), std::vector<std::string>{"H101"});
  EXPECT_EQ(link.QueryRegion().Value(), 2);
}

TEST(UnpluggedAdapterScan, AScanWhoseOnlyReceiverDiesFindsNothing) {
  EmulatedLink unplugged;
  unplugged.receiver.AddFault({.commandPrefix = "H101", .hangUp = true});
  const auto took = Timed([&] { EXPECT_FALSE(unplugged.link.FindReceiver()); });
  EXPECT_LT(took, 500ms + Slack);
  EXPECT_EQ(unplugged.link.PortNumber(), 0);
}

// The far end goes away halfway through an answer line: the half line is
// never handed over.
TEST(UnpluggedAdapterLine, HalfAnAnswerIsNeverDelivered) {
  qlr::testing::PtyPair pty;
  ScopedPorts ports({pty.Path()});
  CReceiverLink link;
  ASSERT_TRUE(link.OpenPort(1));
  std::thread far([&pty] {
    pty.Receive(100ms);
    pty.Send("LD04");
    std::this_thread::sleep_for(20ms);
    pty.HangUp();
  });
  const double cpuBefore = ProcessCpuSeconds();
  const auto took = Timed([&] { EXPECT_FALSE(link.SendAndAwait("LD040?\r\n", "LD0xxxx")); });
  far.join();
  EXPECT_GE(took, 500ms);
  EXPECT_LT(took, 500ms + Slack);
  EXPECT_EQ(link.LastLine(), "");
  std::this_thread::sleep_for(Aftermath);
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("[ figures  ] half line: %.3f s CPU over %.3f s\n", cpu,
              std::chrono::duration<double>(took + Aftermath).count());
  EXPECT_LT(cpu, CpuShareLimit * std::chrono::duration<double>(took + Aftermath).count());
  EXPECT_FALSE(link.SendAndAwaitOk("H101\r\n"));
  EXPECT_EQ(link.PortNumber(), 0);
}

TEST(UnpluggedAdapterSnapshot, NothingIsLeftOnDiskAndTheNextSnapshotIsWhole) {
  TempDirectory directory;
  {
    EmulatedLink unplugged;
    unplugged.receiver.AddFault({.commandPrefix = "LD040?", .hangUp = true});
    EXPECT_FALSE(TakeSnapshot(unplugged.link, directory.Path()));
    EXPECT_TRUE(fs::is_empty(directory.Path()));
  }
  EmulatedLink fresh;
  ASSERT_TRUE(TakeSnapshot(fresh.link, directory.Path()));
  const EepromImage memory = fresh.receiver.Memory();
  EXPECT_EQ(qlr::testing::ReadBytes(directory / SnapshotFileName),
            std::vector<unsigned char>(memory.begin(), memory.end()));
  EXPECT_EQ(std::distance(fs::directory_iterator(directory.Path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace qlr
