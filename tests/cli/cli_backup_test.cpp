// Backups, the history and undo as a user meets them: the built qlr5500
// against an emulated receiver, the backups in the test's scratch folder.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>

#include "cli/cli_test_support.h"
#include "support/child_process.h"

namespace qlr::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class CliBackups : public CliFixture {
 protected:
  // A few seconds at most: a command that waits longer (on a FIFO) has hung.
  ChildResult Run(std::vector<std::string> words, bool unprivileged = false) const {
    words.insert(words.begin(), QLR_PROGRAM_UNDER_TEST);
    ChildResult result =
        RunChild(words, {.environment = environment, .unprivileged = unprivileged, .limit = std::chrono::seconds(5)});
    EXPECT_FALSE(result.timedOut) << words[1] << " hung";
    return result;
  }
  // The history's lines for scripts, each split at its tabs.
  std::vector<Lines> History(bool unprivileged = false) const {
    std::vector<Lines> changes;
    std::istringstream lines(Run({"history", "--porcelain"}, unprivileged).out);
    for (std::string line; std::getline(lines, line);) {
      Lines& fields = changes.emplace_back();
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    }
    return changes;
  }
  static Lines Writes(const emu::ReceiverEmulator& emulator) {
    Lines writes;
    for (const std::string& text : CommandTexts(emulator)) {
      if (text.starts_with("LD0") && text.size() == 7 && text.back() != '?') writes.push_back(text);
    }
    return writes;
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> environment;
};

TEST_F(CliBackups, WriteHistoryUndoAndCompareWritingOnlyTheBytesThatDiffer) {
  const std::vector<unsigned char> original = Memory();
  std::vector<unsigned char> changed = original;
  for (const std::size_t address : {0x05, 0x42, 0x7F}) changed[address] ^= 0x81;
  ChildResult result = Run({"write", "--yes", File("changed.bin", changed)});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Memory(), changed);
  EXPECT_TRUE(Contains(result.out, ": 3 bytes changed and read back, the other 125 as read just before\n"))
      << result.out;
  EXPECT_EQ(Writes(receiver), (Lines{"LD00545", "LD04214", "LD07FE7"}));
  EXPECT_EQ(CountSent(receiver, "LD042?"), 3);  // read for the backup, read again before the write, read back

  Lines change = History().at(0);
  ASSERT_EQ(change.size(), 13u);
  EXPECT_EQ(Lines(change.begin() + 2, change.end() - 4),
            (Lines{"write", File("changed.bin"), Device(), "2", "3", "done", "-1"}));
  EXPECT_EQ(ReadBytes(change[9]), original);
  EXPECT_EQ(change[10], "kept");

  receiver.ClearCommands();
  result = Run({"write", "--yes", File("changed.bin")});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(Contains(result.out, "already holds " + File("changed.bin") + ": nothing written")) << result.out;
  EXPECT_TRUE(Writes(receiver).empty());
  EXPECT_EQ(History().size(), 1u);

  result = Run({"undo", "--yes"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Run({"compare", File("original.bin", original)}).exitCode, 0);
  EXPECT_EQ(History().at(0)[3], fs::path(change[9]).filename().string());
  EXPECT_TRUE(
      Contains(Run({"history"}).out, "2  " + History().at(0)[1].replace(10, 1, " ") + "  undo of change 1 on "));
}

TEST_F(CliBackups, UndoChecksTheBackupAndTheRegionBeforeWriting) {
  const std::vector<unsigned char> original = Memory();
  ASSERT_EQ(Run({"write", "--yes", File("p.bin", Pattern(128))}).exitCode, 0);
  const fs::path backup = History().at(0)[9];
  struct Case {
    std::function<void()> before;
    Lines words;
    int exitCode;
    std::string message;
    std::string state;  // of the backup, as the history tells it
  };
  const Case cases[] = {
      {[&] { receiver.SetRegion(13); },
       {"undo", "--yes"},
       2,
       "is of region FCC CAN (13): nothing written (--force",
       "kept"},
      {[&] {
         fs::permissions(backup, fs::perms::owner_write, fs::perm_options::add);
         WriteBytes(backup, Pattern(128));
       },
       {"undo", "--yes", "--force"},
       4,
       backup.string() + " no longer holds what the history kept of it",
       "altered"},
      // Neither may make a command wait or be taken for the backup.
      {[&] {
         fs::remove(backup);
         ASSERT_EQ(::mkfifo(backup.c_str(), 0600), 0);
       },
       {"undo", "--yes", "--force"},
       4,
       backup.string() + " is not a regular file: nothing written (remove it",
       "not-a-file"},
      {[&] {
         fs::remove(backup);
         fs::create_symlink(File("p.bin"), backup);
       },
       {"undo", "--yes", "--force"},
       4,
       backup.string() + " is not a regular file",
       "not-a-file"},
      {[&] { fs::remove(backup); },
       {"undo", "--yes", "--force"},
       0,
       backup.string() + " is gone: writing the copy",
       "deleted"},
  };
  for (const Case& c : cases) {
    c.before();
    EXPECT_EQ(History().at(0)[10], c.state);
    EXPECT_EQ(Run({"region"}).exitCode, 0);
    EXPECT_EQ(Run({"read", File("r.bin")}).exitCode, 0);
    receiver.ClearCommands();
    const ChildResult result = Run(c.words);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
    EXPECT_EQ(Writes(receiver).empty(), c.exitCode != 0);
  }
  EXPECT_EQ(Memory(), original);
}

// One garbled answer (the line has no parity, the protocol no checksum):
// in the backup's read it stops the write before its first byte; in the
// read again before the write it is read a third time and costs nothing.
TEST_F(CliBackups, NoValueIsReplacedThatWasNotReadTwiceAlike) {
  const std::vector<unsigned char> original = Memory();
  const std::string file = File("p.bin", Pattern(128));
  for (const int skip : {0, 1}) {
    receiver.ClearFaults();
    receiver.AddFault({.commandPrefix = "LD010?", .skip = skip, .times = 1, .answer = Lines{"LD010EE"}});
    receiver.ClearCommands();
    const ChildResult result = Run({"write", "--yes", file});
    if (skip == 0) {
      EXPECT_EQ(result.exitCode, 3);
      EXPECT_TRUE(Contains(result.err,
                           "no longer holds a value read for the backup: the line garbled an answer, "
                           "or the receiver changed since"))
          << result.err;
      EXPECT_TRUE(Contains(result.err, "qlr5500: nothing was written\n")) << result.err;
      EXPECT_TRUE(Writes(receiver).empty());
      EXPECT_EQ(Memory(), original);
      EXPECT_FALSE(receiver.InServiceMode());
      // The history says so, and names nothing to undo.
      const Lines change = History().at(0);
      EXPECT_EQ(Lines(change.begin() + 7, change.begin() + 9), (Lines{"failed", "-1"}));
      EXPECT_EQ(Run({"region"}).err, "");
      // Its backup holds the garbled value: undoing it would write that in.
      const ChildResult undo = Run({"undo", "--yes"});
      EXPECT_EQ(undo.exitCode, 2);
      EXPECT_TRUE(Contains(undo.err, "failed before it wrote anything, so there is nothing to undo")) << undo.err;
      EXPECT_TRUE(Writes(receiver).empty());
    } else {
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_EQ(Memory(), Pattern(128));
      EXPECT_EQ(CountSent(receiver, "LD010?"), 4);  // the backup's, twice before the write, the read-back
    }
  }
  // Silence to the read before the write: still nothing written, and nothing to undo.
  receiver.ClearFaults();
  receiver.AddFault({.commandPrefix = "LD010?", .skip = 1, .answer = Lines{}});
  const ChildResult silent = Run({"write", "--yes", File("q.bin", Pattern(128, 5))});
  EXPECT_EQ(silent.exitCode, 3);
  EXPECT_TRUE(Contains(silent.err, "qlr5500: nothing was written\n")) << silent.err;
  EXPECT_EQ(Memory(), Pattern(128));
  receiver.ClearFaults();
  EXPECT_EQ(Run({"region"}).err, "");
}

TEST_F(CliBackups, UndoGoesBackToTheReceiverTheChangeWasMadeOn) {
  emu::ReceiverEmulator other;
  ports.Map({Device(), other.DevicePath()});
  const std::vector<unsigned char> original = Bytes(other.Memory());
  ASSERT_EQ(Run({"write", "--yes", "--port", "2", File("p.bin", Pattern(128))}).exitCode, 0);
  // Two receivers answer a scan; the undo needs none.
  ChildResult result = Run({"undo", "--yes"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(Bytes(other.Memory()), original);
  ASSERT_EQ(Run({"write", "--yes", "--port", "2", File("p.bin")}).exitCode, 0);
  receiver.ClearCommands();
  result = Run({"undo", "--yes", "--port", "1"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(Contains(result.err, "change 3 was made on the receiver on " + other.DevicePath() + ", not on " +
                                       Device() + ": nothing written (--force"))
      << result.err;
  EXPECT_TRUE(Writes(receiver).empty());
  EXPECT_EQ(Run({"undo", "--yes", "--port", "1", "--force", "3"}).exitCode, 0);
  EXPECT_EQ(Memory(), original);
}

// A file name cannot start a line of its own, and the undo a failure names pastes into a shell as it stands.
TEST_F(CliBackups, SuggestedCommandsPasteAndNamesCannotForgeLines) {
  const std::string folder = (dir_ / "my backups").string();
  receiver.AddFault({.commandPrefix = "LD040", .storeInstead = std::uint8_t{0}});
  const ChildResult result = Run({"write", "--yes", "--backup-dir", folder, File("odd\nname.bin", Pattern(128))});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_TRUE(Contains(result.err, "'qlr5500 undo 1 --backup-dir '" + folder + "'' puts back")) << result.err;
  const std::string history = Run({"history", "--backup-dir", folder}).out;
  EXPECT_TRUE(Contains(history, "odd\\nname.bin on ")) << history;
  EXPECT_FALSE(Contains(history, "\nname.bin")) << history;
}

// Root reads any file: only another user meets a backup that cannot be read.
TEST_F(CliBackups, ABackupThatCannotBeReadIsNotTakenForAnAlteredOne) {
  if (const std::string why = WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
  fs::permissions(dir_.Path(), fs::perms::all);
  ASSERT_EQ(::chmod(Device().c_str(), 0666), 0);
  ASSERT_EQ(Run({"write", "--yes", File("p.bin", Pattern(128))}, true).exitCode, 0);
  const std::string backup = History(true).at(0)[9];
  ASSERT_EQ(::chmod(backup.c_str(), 0), 0);
  EXPECT_EQ(History(true).at(0)[10], "unreadable");
  EXPECT_TRUE(
      Contains(Run({"history"}, true).out, "(cannot be read: undo refuses it until 'chmod u+r " + backup + "')"));
  receiver.ClearCommands();
  const ChildResult undone = Run({"undo", "--yes"}, true);
  EXPECT_EQ(undone.exitCode, 4);
  EXPECT_TRUE(Contains(undone.err, backup +
                                       " cannot be read, so it cannot be checked against the history's copy: "
                                       "nothing written (run 'chmod u+r " +
                                       backup + "', then undo again)"))
      << undone.err;
  EXPECT_TRUE(Writes(receiver).empty());
}

// Nothing reaches the receiver when its old values cannot be kept.
TEST_F(CliBackups, NothingIsWrittenWithoutABackup) {
  WriteBytes(dir_ / "file", {0});
  const fs::path full = dir_ / "full";
  fs::create_directory(full);
  const bool mounted = ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=4k") == 0;
  if (mounted) WriteBytes(full / "filler", std::vector<unsigned char>(4096));
  struct Case {
    Lines options;
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    std::string message;
    int exitCode = 4;
  };
  const std::string nobody = std::to_string(UnprivilegedId);
  const Case cases[] = {
      {{"--backup-dir", (dir_ / "file" / "b").string()}, {}, "is not a folder"},
      {{"--backup-dir", (full / "b").string()}, {}, "No space left on device"},
      // sudo by uid 65534, whose home is /nonexistent.
      {{},
       {{"SUDO_UID", nobody}, {"SUDO_GID", nobody}, {"XDG_DATA_HOME", std::nullopt}},
       "/nonexistent does not exist"},
      // The receiver stops answering in the middle of the read.
      {{}, {}, "nothing was written: no backup without a read (--no-backup writes without one)", 3},
  };
  for (const Case& c : cases) {
    if (!mounted && c.message.starts_with("No space")) continue;
    if (c.exitCode == 3) receiver.AddFault({.commandPrefix = "LD040?", .answer = Lines{}});
    environment = c.environment;
    Lines words = {"write", "--yes", File("p.bin", Pattern(128))};
    words.insert(words.end(), c.options.begin(), c.options.end());
    const ChildResult result = Run(words);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
    if (c.exitCode == 4) {
      EXPECT_TRUE(Contains(result.err, "nothing was written (--no-backup writes without a backup)")) << result.err;
    }
    EXPECT_TRUE(Writes(receiver).empty());
  }
  if (mounted) ::umount(full.c_str());
  EXPECT_FALSE(fs::exists("/nonexistent"));
}

// Like ssh with its own files: a folder or history that someone else may write is refused, with the fix.
TEST_F(CliBackups, AFolderSomeoneElseControlsIsRefusedBeforeTheReceiverIsAsked) {
  const fs::path folder = dir_ / "data" / "qlr5500" / "backups";
  const fs::path log = folder / "history.log";
  struct Case {
    std::function<void()> plant;
    std::string refusal;
    bool needsRoot = false;
  };
  const Case cases[] = {
      {[&] { ASSERT_EQ(::chown(folder.c_str(), UnprivilegedId, UnprivilegedId), 0); },
       folder.string() + ": it belongs to ", true},
      {[&] { fs::permissions(folder, fs::perms::all); },
       folder.string() + ": others may write it (look at what is in it, then run 'chmod go-w " + folder.string() +
           "')"},
      {[&] {
         WriteBytes(log, {});
         fs::permissions(log, fs::perms::others_write, fs::perm_options::add);
       },
       log.string() + ": others may write it (look at it, then run 'chmod go-w " + log.string() + "')"},
      {[&] { ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0); }, log.string() + ": it is not a regular file (remove it)"},
  };
  for (const Case& c : cases) {
    if (c.needsRoot && ::geteuid() != 0) continue;
    fs::remove_all(dir_ / "data");
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::owner_all);
    c.plant();
    const ChildResult written = Run({"write", "--yes", File("p.bin", Pattern(128))});
    EXPECT_EQ(written.exitCode, 4);
    EXPECT_TRUE(Contains(written.err, "cannot keep a backup: refusing " + c.refusal)) << written.err;
    EXPECT_TRUE(Writes(receiver).empty());
    const ChildResult history = Run({"history"});
    EXPECT_EQ(history.exitCode, 4);
    EXPECT_TRUE(Contains(history.err, "no history: refusing " + c.refusal)) << history.err;
    const ChildResult region = Run({"region"});
    EXPECT_EQ(region.exitCode, 0);
    EXPECT_TRUE(Contains(region.err, "not looking for changes cut short: refusing " + c.refusal)) << region.err;
  }
}

// sudo by uid 65534, whose links lead into a folder of root's: root follows none, and nothing of root's changes.
TEST_F(CliBackups, UnderSudoRootFollowsNoLinkTheUserPlanted) {
  if (const std::string why = WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
  fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
  const fs::path rootOnly = dir_ / "root-only";
  fs::create_directory(rootOnly);
  fs::permissions(rootOnly, fs::perms::owner_all);
  const fs::path rootLog = rootOnly / "history.log";
  WriteBytes(rootLog, {'r', 'o', 'o', 't', '\n'});
  fs::permissions(rootLog, fs::perms::owner_read | fs::perms::owner_write);
  const fs::path home = dir_ / "home";
  fs::create_directory(home);
  ASSERT_EQ(::chown(home.c_str(), UnprivilegedId, UnprivilegedId), 0);
  const std::string data = (home / "data").string(), ours = (home / "data" / "qlr5500").string(),
                    backups = ours + "/backups", link = (home / "link").string();
  ASSERT_EQ(RunUnprivileged([&] {
              const bool planted = ::mkdir(data.c_str(), 0755) == 0 && ::mkdir(ours.c_str(), 0755) == 0 &&
                                   ::symlink(rootOnly.c_str(), backups.c_str()) == 0 &&
                                   ::symlink(rootOnly.c_str(), link.c_str()) == 0;
              return planted ? 0 : 1;
            }),
            0);
  const std::string nobody = std::to_string(UnprivilegedId);
  environment = {{"SUDO_UID", nobody}, {"SUDO_GID", nobody}, {"XDG_DATA_HOME", data}};
  struct Case {
    Lines options;
    std::string link;
  };
  const Case cases[] = {
      {{}, backups + ": it"}, {{"--backup-dir", link + "/sub"}, link}, {{"--backup-dir", link}, link + ": it"}};
  for (const Case& c : cases) {
    Lines words = {"write", "--yes", File("p.bin", Pattern(128))};
    words.insert(words.end(), c.options.begin(), c.options.end());
    const ChildResult result = Run(words);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_TRUE(Contains(result.err, c.link + " is a symbolic link in a folder that ")) << result.err;
    EXPECT_TRUE(Writes(receiver).empty());
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(rootOnly), fs::directory_iterator()), 1);
  for (const fs::path& untouched : {rootOnly, rootLog}) {
    struct stat status {};
    ASSERT_EQ(::stat(untouched.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u) << untouched;
    EXPECT_EQ(status.st_mode & 07777, untouched == rootLog ? 0600u : 0700u) << untouched;
  }
  EXPECT_EQ(ReadBytes(rootLog), (std::vector<unsigned char>{'r', 'o', 'o', 't', '\n'}));
}

// A write stopped at a command: killed, interrupted, or failed by the
// receiver. "LD040" comes for the backup's read, the read again before the
// write, the write itself and its read-back.
struct StopCase {
  const char* name;
  std::string command;  // the write stops when this arrives the `time`-th time
  int time;
  int signal;           // sent then, or 0 for none
  std::string outcome;  // in the history afterwards; empty for no change recorded
  bool unprivileged = false;
  bool notKept = false;  // the receiver does not keep the value written then
};

class CliStoppedWrite : public CliBackups, public ::testing::WithParamInterface<StopCase> {};

TEST_P(CliStoppedWrite, TheNextCommandNamesACutChangeAndUndoRestoresTheOriginal) {
  const StopCase& stop = GetParam();
  const std::vector<unsigned char> original = Memory();
  if (stop.unprivileged) {
    if (const std::string why = WhyNotUnprivileged(); !why.empty()) GTEST_SKIP() << why;
    fs::permissions(dir_.Path(), fs::perms::all);
  }
  if (stop.notKept) {
    receiver.AddFault({.commandPrefix = stop.command, .skip = stop.time - 1, .storeInstead = std::uint8_t{0}});
  }
  // Shared with the observer: the emulator may still run a copy of it after it is removed.
  const auto writer = std::make_shared<std::atomic<pid_t>>(0);
  receiver.SetObserver(
      [writer, seen = std::make_shared<std::atomic<int>>(0), stop](const emu::RecordedCommand& command) {
        if (stop.signal != 0 && command.text.starts_with(stop.command) && ++*seen == stop.time)
          ::kill(*writer, stop.signal);
      });
  ASSERT_EQ(::chmod(Device().c_str(), 0666), 0);
  ChildProcess child({QLR_PROGRAM_UNDER_TEST, "write", "--yes", File("p.bin", Pattern(128))},
                     {.unprivileged = stop.unprivileged});
  *writer = child.Pid();
  const ChildResult result = child.Finish();
  receiver.SetObserver({});
  EXPECT_EQ(result.signal, stop.signal);
  // Held back, a signal still lets the write tell how it ended; a failure in
  // service mode still brings the receiver back to normal operation.
  EXPECT_EQ(Contains(result.out, "wrote "), stop.outcome == "done") << result.out;
  if (stop.outcome == "failed") {
    EXPECT_FALSE(receiver.InServiceMode());
  }

  // The receiver switched off and on again, as after any stopped transfer.
  receiver.ClearFaults();
  receiver.SwitchOffAndOn();
  const std::string named = "change 1 (write " + File("p.bin") + " on " + Device() + ", ";
  EXPECT_EQ(Contains(Run({"region"}, stop.unprivileged).err, named), stop.outcome == "cut" || stop.outcome == "failed");
  EXPECT_EQ(Contains(result.err, "'qlr5500 undo 1' puts back"), stop.outcome == "failed") << result.err;
  const std::vector<Lines> history = History(stop.unprivileged);
  if (stop.outcome.empty()) {
    EXPECT_TRUE(history.empty());
    EXPECT_EQ(Memory(), original);
    return;
  }
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0][7], stop.outcome);
  const ChildResult undone = Run({"undo", "--yes"}, stop.unprivileged);
  EXPECT_EQ(undone.exitCode, 0) << undone.err;
  EXPECT_EQ(Memory(), original);
  EXPECT_EQ(Run({"region"}, stop.unprivileged).err, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, CliStoppedWrite,
                         ::testing::Values(StopCase{"KilledWhileReading", "LD040?", 1, SIGKILL, ""},
                                           StopCase{"KilledBeforeTheFirstByte", "G300", 2, SIGKILL, "cut"},
                                           StopCase{"KilledHalfWay", "LD040", 3, SIGKILL, "cut"},
                                           StopCase{"KilledHalfWayUnprivileged", "LD040", 3, SIGKILL, "cut", true},
                                           StopCase{"KilledBeforeTheOutcome", "H100", 2, SIGKILL, "cut"},
                                           StopCase{"InterruptedHalfWay", "LD040", 3, SIGINT, "done"},
                                           StopCase{"ValueNotKept", "LD040", 3, 0, "failed", false, true},
                                           StopCase{"InterruptedThenNotKept", "LD040", 3, SIGTERM, "failed", false,
                                                    true}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace
}  // namespace qlr::testing
