// qlr5500 as a user runs it: the built binary against an emulated receiver.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <tuple>

#include "cli/cli_test_support.h"
#include "support/child_process.h"
#include "support/pty_pair.h"

namespace qlr::testing {
namespace {

using std::chrono::milliseconds;

class CliBinary : public CliFixture {
 protected:
  static ChildResult Run(std::vector<std::string> words, const std::string& input = {}) {
    words.insert(words.begin(), QLR_PROGRAM_UNDER_TEST);
    return RunChild(words, {.input = input});
  }
  std::size_t FilesInDirectory() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir_.Path()), {}));
  }
};

TEST_F(CliBinary, ReadSavesTheEepromAndLeavesTheReceiverInNormalOperation) {
  const ChildResult result = Run({"read", "--port", "1", File("backup.bin")});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadBytes(File("backup.bin")), Memory());
  EXPECT_EQ(result.out, "saved the EEPROM of the receiver on " + Device() + " in " + File("backup.bin") + "\n");
  // Standard error is a pipe here: no progress bar, nothing at all.
  EXPECT_EQ(result.err, "");
  const auto commands = receiver.Commands();
  for (const auto& command : commands) EXPECT_FALSE(command.garbled) << command.text;
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back().text, "H101");
  EXPECT_FALSE(receiver.InServiceMode());
}

TEST_F(CliBinary, FailedReadLeavesAnExistingFileAloneAndCreatesNone) {
  for (const bool existed : {true, false}) {
    // A fresh receiver each time: the failed read leaves this one in service mode.
    emu::ReceiverEmulator stalling;
    stalling.AddFault({.commandPrefix = "LD040?", .answer = std::vector<std::string>{}});
    const std::string target = existed ? File("old.bin", Pattern(128)) : File("new.bin");
    const std::size_t before = FilesInDirectory();
    const ChildResult result = Run({"read", "--port", stalling.DevicePath(), target});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(Contains(result.err, "no answer from the receiver on " + stalling.DevicePath())) << result.err;
    EXPECT_TRUE(Contains(result.err, "failed step: no answer to LD040?")) << result.err;
    if (existed) {
      EXPECT_EQ(ReadBytes(target), Pattern(128));
    }
    EXPECT_EQ(std::filesystem::exists(target), existed);
    EXPECT_EQ(FilesInDirectory(), before);
  }
}

// An unprivileged user, in a directory anyone may write, over a port that
// user may open: only the user's own file is replaced, and nothing changes owner.
TEST_F(CliBinary, ReadReplacesOnlyFilesTheUserMayWrite) {
  if (const std::string why = WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
  std::filesystem::permissions(dir_.Path(), std::filesystem::perms::all);
  ASSERT_EQ(::chmod(Device().c_str(), 0666), 0);
  const std::tuple<uid_t, mode_t, int> cases[] = {{0, 0644, 4}, {0, 0664, 4}, {0, 0600, 4}, {UnprivilegedId, 0644, 0}};
  for (const auto& [owner, mode, exitCode] : cases) {
    const std::string target = File("backup.bin", Pattern(128));
    ASSERT_EQ(::chown(target.c_str(), owner, owner) | ::chmod(target.c_str(), mode), 0);
    const ChildResult result =
        RunChild({QLR_PROGRAM_UNDER_TEST, "read", "--port", "1", target}, {.unprivileged = true});
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    if (exitCode != 0) {
      EXPECT_EQ(result.err, "qlr5500: cannot write " + target + " (Permission denied)\n");
    }
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_uid, owner);
    EXPECT_EQ(after.st_mode & 07777, mode);
    EXPECT_EQ(ReadBytes(target), exitCode == 0 ? Memory() : Pattern(128));
  }
}

TEST_F(CliBinary, CompareCountsAndListsTheDifferences) {
  struct Case {
    std::size_t first, count;  // the addresses made to differ
    int exitCode;
    std::string summary;
    std::size_t lines;
  };
  const Case cases[] = {
      {0, 0, 0, "is identical to", 1}, {5, 1, 1, "in 1 byte\n", 3}, {0, 128, 1, "in 128 bytes\n", 130}};
  for (const Case& c : cases) {
    std::vector<unsigned char> image = Memory();
    for (std::size_t address = c.first; address < c.first + c.count; ++address) image[address] ^= 0xFF;
    const ChildResult result = Run({"compare", "-p", "1", File("image.bin", image)});
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.out, c.summary)) << result.out;
    EXPECT_EQ(static_cast<std::size_t>(std::count(result.out.begin(), result.out.end(), '\n')), c.lines);
  }
  // The one-byte case names the address, the receiver's byte and the file's.
  std::vector<unsigned char> image = Memory();
  image[0x05] = 0x00;
  char row[64];
  std::snprintf(row, sizeof row, "0x05     %02X        00\n", receiver.Memory()[0x05]);
  EXPECT_TRUE(Contains(Run({"compare", File("one.bin", image)}).out, row));
}

TEST_F(CliBinary, WriteWithoutBackupSendsEachByteWithItsReadBackInServiceMode) {
  const ChildResult result = Run({"write", "--port", "1", "--yes", "--no-backup", File("image.bin", Pattern(128))});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Memory(), Pattern(128));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));

  std::vector<std::string> expected = {"H101", "G300", "G105", "GC01", "GCF0"};
  for (unsigned address = 0; address < 128; ++address) {
    char write[16], readBack[16];
    std::snprintf(write, sizeof write, "LD0%02X%02X", address, Pattern(128)[address]);
    std::snprintf(readBack, sizeof readBack, "LD0%02X?", address);
    expected.insert(expected.end(), {write, readBack});
  }
  expected.insert(expected.end(), {"H100", "H101"});
  const auto commands = receiver.Commands();
  EXPECT_EQ(CommandTexts(receiver), expected);
  for (std::size_t i = 3; i + 2 < commands.size(); ++i) EXPECT_EQ(commands[i].baud, 38400u) << commands[i].text;
  for (const auto& command : commands) EXPECT_FALSE(command.garbled) << command.text;
}

TEST_F(CliBinary, MediumWritesTheBuiltInValues) {
  const ChildResult result = Run({"medium", "--yes"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Memory(), Bytes(MediumValues));
}

TEST_F(CliBinary, ImageFilesOfTheWrongLength) {
  const auto before = receiver.Memory();
  ChildResult result = Run({"write", "--yes", File("short.bin", Pattern(127))});
  EXPECT_EQ(result.exitCode, 4);
  EXPECT_TRUE(Contains(result.err, "holds fewer than 128 bytes")) << result.err;
  EXPECT_TRUE(receiver.Commands().empty());
  EXPECT_EQ(receiver.Memory(), before);

  result = Run({"write", "--yes", File("long.bin", Pattern(200, 7))});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(Contains(result.err, "holds 200 bytes; only its first 128 are used")) << result.err;
  EXPECT_EQ(Memory(), Pattern(128, 7));
}

TEST_F(CliBinary, WritesOnlyWhatIsConfirmed) {
  const auto before = receiver.Memory();
  // Standard input from a pipe: refused before anything is sent.
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"write", File("image.bin", Pattern(128))}, {"medium"}}) {
    const ChildResult result = Run(words, "y\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(Contains(result.err, "standard input is not a terminal")) << result.err;
  }
  EXPECT_TRUE(receiver.Commands().empty());

  // On a terminal the answer decides.
  for (const auto& [typed, written] : {std::pair{"n\n", false}, std::pair{"y\n", true}}) {
    receiver.SetMemory(before);
    PtyPair terminal;
    terminal.Send(typed);
    const ChildResult result =
        RunChild({QLR_PROGRAM_UNDER_TEST, "write", File("image.bin")}, {.inputFd = terminal.Slave()});
    EXPECT_EQ(result.exitCode, written ? 0 : 2) << result.err;
    EXPECT_TRUE(Contains(result.err,
                         "write " + File("image.bin") + " into the EEPROM of the receiver on " + Device() + "? [y/N]"))
        << result.err;
    EXPECT_EQ(Memory(), written ? Pattern(128) : Bytes(before));
  }
}

TEST_F(CliBinary, MissingDevicesAreNamed) {
  ports.Map({"", Device()});
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"region", "--port", "/dev/qlr-none-at-all"},
       "no such device: /dev/qlr-none-at-all (failed step: open /dev/qlr-none-at-all)"},
      {{"region", "--port", "1"}, "no such device: port 1 has none"},
      {{"read", "--port", "7", File("x.bin")}, "no such device: port 7 has none"},
  };
  for (const auto& [words, message] : cases) {
    const ChildResult result = Run(words);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(Contains(result.err, "qlr5500: " + message)) << result.err;
  }
  EXPECT_FALSE(std::filesystem::exists(File("x.bin")));
}

TEST_F(CliBinary, ArgumentErrorsExitWithStatusTwoAndSendNothing) {
  const std::vector<std::string> cases[] = {
      {}, {"fetch"}, {"read"}, {"read", "--port", "17", "x"}, {"write", "--force", "x"}, {"dump", "-p", "1", "x"}};
  for (const auto& words : cases) {
    const ChildResult result = Run(words);
    EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(words);
    EXPECT_TRUE(Contains(result.err, "usage: qlr5500")) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_TRUE(receiver.Commands().empty());
  for (const char* command : {"read", "compare", "write", "medium", "find", "region", "ports", "dump", "diff"}) {
    const ChildResult result = Run({command, "--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(Contains(result.out, std::string("usage: qlr5500 ") + command)) << result.out;
    EXPECT_TRUE(Contains(result.out, "3  the port, the line or the receiver failed"));
  }
}

TEST_F(CliBinary, FindsTheReceiverAndShowsItsPortAndRegion) {
  ports.Map({"/dev/qlr-none-at-all", Device()});
  EXPECT_EQ(Run({"find"}).out, "2 " + Device() + "\n");
  const std::string padding(std::string("/dev/qlr-none-at-all").size() - Device().size() + 2, ' ');
  EXPECT_EQ(Run({"ports"}).out, "1   /dev/qlr-none-at-all  (no such device)\n2   " + Device() + padding + "-\n");
  receiver.SetRegion(13);
  EXPECT_EQ(Run({"region"}).out, "13 FCC CAN\n");
  EXPECT_EQ(Run({"dump", File("m.bin", Bytes(MediumValues))}).out.substr(0, 6), "0x00  ");
}

// The doctor over the emulator's pty: all well, then an adapter that holds
// each answer back, which also makes a transfer far slower than the wire:
// the user is told, and where to find out why.
TEST_F(CliBinary, DoctorAndTransfersNameSlowAnswers) {
  ChildResult doctor = Run({"doctor"});
  EXPECT_EQ(doctor.exitCode, 0) << doctor.out;
  EXPECT_TRUE(Contains(doctor.out, "ok       port 1 " + Device() +
                                       ": the receiver answers, region 2 EUR/AUS\n"
                                       "ok       answer time: median "))
      << doctor.out;
  EXPECT_FALSE(Contains(doctor.out, "problem")) << doctor.out;
  EXPECT_TRUE(doctor.out.ends_with("\nthe receiver answers at full speed\n")) << doctor.out;

  receiver.SetPacing(true);
  receiver.AddFault({.delay = milliseconds(16)});
  doctor = Run({"doctor", "--port", Device()});
  EXPECT_EQ(doctor.exitCode, 1) << doctor.out;
  EXPECT_TRUE(Contains(doctor.out, "problem  answer time: median ")) << doctor.out;
  EXPECT_TRUE(Contains(doctor.out, " in 20 round trips; the wire needs 13.75 ms: the answers are held back\n"))
      << doctor.out;
  EXPECT_EQ(CountSent(receiver, "H101"), 2 * (1 + 20));
  EXPECT_EQ(CountSent(receiver, "GE?"), 2);
  EXPECT_EQ(receiver.Commands().size(), 2 * (1 + 20 + 1u));

  const ChildResult read = Run({"read", "--port", "1", File("slow.bin")});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_TRUE(read.err.starts_with("qlr5500: the read took ")) << read.err;
  EXPECT_TRUE(read.err.ends_with(" s where the line needs 0.71 s: 'qlr5500 doctor' tells why\n")) << read.err;
}

TEST_F(CliBinary, DoctorNamesTheGroupThatMayOpenThePort) {
  if (const std::string why = WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
  const group* dialout = ::getgrnam("dialout");
  const passwd* nobody = ::getpwuid(UnprivilegedId);
  if (!dialout || !nobody) GTEST_SKIP() << "no group dialout or no user " << UnprivilegedId << " here";
  const std::string user = nobody->pw_name;
  ASSERT_EQ(::chown(Device().c_str(), 0, dialout->gr_gid) | ::chmod(Device().c_str(), 0660), 0);
  const ChildResult result = RunChild({QLR_PROGRAM_UNDER_TEST, "doctor"}, {.unprivileged = true});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_TRUE(Contains(result.out, "problem  port 1 " + Device() +
                                       ": permission denied: it belongs to group dialout, "
                                       "and user " +
                                       user +
                                       " is not in it\n"
                                       "         fix: sudo adduser " +
                                       user + " dialout, then log out and in again\n"))
      << result.out;
  EXPECT_TRUE(receiver.Commands().empty());
}

TEST_F(CliBinary, DoctorNamesTheProgramThatHoldsThePort) {
  // Another qlr5500 holds the port while it waits for a confirmation that never comes.
  PtyPair terminal;
  ChildProcess holder({QLR_PROGRAM_UNDER_TEST, "write", File("image.bin", Pattern(128))},
                      {.inputFd = terminal.Slave()});
  ASSERT_EQ(receiver.WaitForCommands(1, std::chrono::seconds(10)), 1u);
  const ChildResult result = Run({"doctor"});
  EXPECT_EQ(result.exitCode, 3);
  const std::string pid = std::to_string(holder.Pid());
  EXPECT_TRUE(Contains(result.out, "problem  port 1 " + Device() + ": busy: qlr5500 (pid " + pid +
                                       ") has it open\n"
                                       "         fix: let the other qlr5500 finish, or end it (kill " +
                                       pid + ")\n"))
      << result.out;
}

TEST_F(CliBinary, InterruptDuringAWriteLetsTheWriteFinish) {
  const std::string found = SettingsOf(Device());
  // Slow enough that the signal surely comes in the middle.
  receiver.AddFault({.commandPrefix = "LD0", .delay = milliseconds(4)});
  ChildProcess child({QLR_PROGRAM_UNDER_TEST, "write", "--yes", "--no-backup", File("image.bin", Pattern(128))});
  ASSERT_GE(receiver.WaitForCommands(40, std::chrono::seconds(10)), 40u);
  ::kill(child.Pid(), SIGINT);
  const ChildResult result = child.Finish();
  EXPECT_EQ(result.signal, SIGINT);
  EXPECT_TRUE(Contains(result.err, "letting the transfer finish")) << result.err;
  EXPECT_EQ(Memory(), Pattern(128));
  EXPECT_FALSE(receiver.InServiceMode());
  EXPECT_EQ(receiver.Commands().back().text, "H101");
  // The signal, held back until the write ended, still put the port back.
  EXPECT_EQ(SettingsOf(Device()), found);
}

// Outside a transfer nothing holds a signal back; the port it ends on is put
// back all the same (a console, a modem that the scan passed).
TEST_F(CliBinary, AScanEndedByASignalLeavesThePortAsItWasFound) {
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(number);
    PtyPair silent;
    const std::string found = SettingsOf(silent.Path());
    ChildProcess child({QLR_PROGRAM_UNDER_TEST, "find"}, {.environment = {{PortsVariable, silent.Path()}}});
    pollfd probed{silent.Master(), POLLIN, 0};
    ASSERT_EQ(::poll(&probed, 1, 5000), 1);
    ASSERT_NE(SettingsOf(silent.Path()), found);
    ::kill(child.Pid(), number);
    EXPECT_EQ(child.Finish().signal, number);
    EXPECT_EQ(SettingsOf(silent.Path()), found);
  }
}

}  // namespace
}  // namespace qlr::testing
