// Start-up: the mode from the command tail; the unattended snapshot's whole
// life against the emulator, in-process and through the real program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/command_tail.h"
#include "app/eeprom_app.h"
#include "app/snapshot.h"
#include "image/image_file.h"
#include "support/child_process.h"
#include "support/link_fixture.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qlr::emu::EmulatorOptions;
using qlr::emu::FaultRule;
using qlr::emu::ReceiverEmulator;
using qlr::testing::CommandTexts;
using qlr::testing::EmulatedReceiver;
using qlr::testing::ReadBytes;
using qlr::testing::ScopedPorts;
using qlr::testing::ScopedWorkingDirectory;
using qlr::testing::TempDirectory;

using StartupModes = qlr::testing::ReceiverFixture;

TEST_F(StartupModes, EmptyTailRunsTheDialogOthersNever) {
  int dialogs = 0;
  const auto countDialog = [&] { ++dialogs; };
  EXPECT_FALSE(CEepromApp("", countDialog).InitInstance());
  EXPECT_EQ(dialogs, 1);

  // Neither a snapshot nor an unknown tail opens a window or touches a port.
  TempDirectory directory;
  ScopedWorkingDirectory cwd(directory.Path());
  EXPECT_FALSE(CEepromApp("/SAVE x", countDialog).InitInstance());
  EXPECT_FALSE(CEepromApp("-h", countDialog).InitInstance());
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(receiver.WaitForCommands(1, 100ms), 0u);
  EXPECT_FALSE(fs::exists(directory / SnapshotFileName));

  EXPECT_FALSE(CEepromApp("/save", countDialog).InitInstance());
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(ReadBytes(directory / SnapshotFileName).size(), 128u);
}

TEST(Snapshot, FoundBehindMissingPortsWrittenReadOnlyAndTakenOnlyOnce) {
  ReceiverEmulator receiver;
  TempDirectory directory;
  ScopedPorts ports({"/dev/qlr-missing-1", "/dev/qlr-missing-2", receiver.DevicePath()});
  {
    CReceiverLink link;
    ASSERT_TRUE(TakeSnapshot(link, directory.Path()));
  }
  const auto file = directory / SnapshotFileName;
  const auto memory = receiver.Memory();
  EXPECT_EQ(ReadBytes(file), std::vector<unsigned char>(memory.begin(), memory.end()));
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0444u);
  std::vector<std::string> expected = {"H101"};
  for (const auto& [text, baud] : qlr::testing::ReadTraffic(128)) expected.push_back(text);
  EXPECT_EQ(CommandTexts(receiver), expected);

  // The second run finds the file and touches no port.
  receiver.ClearCommands();
  CReceiverLink link;
  EXPECT_FALSE(TakeSnapshot(link, directory.Path()));
  EXPECT_EQ(receiver.WaitForCommands(1, 200ms), 0u);
}

TEST(Snapshot, SilentPortBeforeTheReceiverIsPassed) {
  ReceiverEmulator silent(EmulatorOptions{.silent = true});
  ReceiverEmulator receiver;
  TempDirectory directory;
  ScopedPorts ports({silent.DevicePath(), receiver.DevicePath()});
  CReceiverLink link;
  ASSERT_TRUE(TakeSnapshot(link, directory.Path()));
  EXPECT_EQ(link.PortNumber(), 2);
  EXPECT_EQ(ReadBytes(directory / SnapshotFileName).size(), 128u);
}

TEST(Snapshot, FailuresLeaveNoFileSoALaterSnapshotCanStillBeTaken) {
  EmulatedReceiver stalling;
  TempDirectory directory;
  stalling.receiver.AddFault({.commandPrefix = "LD050?", .times = 1, .answer = std::vector<std::string>{}});
  {
    CReceiverLink link;
    EXPECT_FALSE(TakeSnapshot(link, directory.Path()));
  }
  EXPECT_TRUE(fs::is_empty(directory.Path()));
  // That receiver stays in service mode (no exit follows a failure); another
  // one, or the same after a power cycle, is snapshotted as usual.
  EmulatedReceiver restarted;
  {
    CReceiverLink link;
    EXPECT_TRUE(TakeSnapshot(link, directory.Path()));
  }
  EXPECT_EQ(ReadBytes(directory / SnapshotFileName).size(), 128u);

  TempDirectory empty;
  ScopedPorts noPorts({});
  CReceiverLink link;
  EXPECT_FALSE(TakeSnapshot(link, empty.Path()));
  EXPECT_TRUE(fs::is_empty(empty.Path()));
}

// The program as a user starts it: status 0 whatever happened.
int RunProgram(const fs::path& directory, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), QLR_PROGRAM_UNDER_TEST);
  return qlr::testing::RunChild(arguments, {.workingDirectory = directory}).exitCode;
}

TEST(SnapshotProgram, SaveWritesTheImageOnceAndOtherArgumentsDoNothing) {
  ReceiverEmulator receiver;
  TempDirectory directory;
  ScopedPorts ports({"", receiver.DevicePath()});

  EXPECT_EQ(RunProgram(directory.Path(), {"/SAVE", "now"}), 0);
  EXPECT_EQ(receiver.WaitForCommands(1, 100ms), 0u);

  EXPECT_EQ(RunProgram(directory.Path(), {"/Save"}), 0);
  const auto memory = receiver.Memory();
  EXPECT_EQ(ReadBytes(directory / SnapshotFileName), std::vector<unsigned char>(memory.begin(), memory.end()));
  const auto commands = receiver.Commands().size();

  EXPECT_EQ(RunProgram(directory.Path(), {"/SAVE"}), 0);
  EXPECT_EQ(receiver.Commands().size(), commands);
}

}  // namespace
}  // namespace qlr
