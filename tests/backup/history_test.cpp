// The backup folder and the history log against scratch folders: what a
// reader makes of whole, damaged and concurrent logs, and of the backups.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "backup/backup_folder.h"
#include "backup/change_recorder.h"
#include "backup/history.h"
#include "backup/history_log.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;
using testing::TempDirectory;

ChangeRecord Record(const std::string& device, std::uint8_t seed) {
  ChangeRecord record{.command = "write", .argument = "/tmp/a\tb\\c\nd.bin", .device = device, .region = 2};
  for (std::size_t i = 0; i < EepromSize; ++i) {
    record.before[i] = static_cast<std::uint8_t>(i + seed);
    record.after[i] = static_cast<std::uint8_t>(i < 3 ? i + seed + 1 : i + seed);
  }
  record.changed = 3;
  return record;
}

class HistoryTest : public ::testing::Test {
 protected:
  // Begins a change in this process; `outcome` ends it: "done", "failed" or "" (none).
  ChangeRecord Change(const std::string& device, std::uint8_t seed, const std::string& outcome) {
    ChangeRecorder recorder(folder);
    ChangeRecord record = Record(device, seed);
    EXPECT_TRUE(recorder.Begin(record, "EUR/AUS"));
    if (!outcome.empty()) {
      EXPECT_TRUE(recorder.Finish({.done = outcome == "done", .failedAddress = 1, .written = 1, .why = "no answer"}));
    }
    return record;
  }
  void AppendRaw(const std::string& text) const { std::ofstream(HistoryLogPath(folder.path), std::ios::app) << text; }

  TempDirectory dir;
  BackupFolder folder{dir / "backups"};
  void SetUp() override { ASSERT_TRUE(MakeBackupFolder(folder)); }
};

TEST_F(HistoryTest, ListsCompleteRecordsNewestFirstAndSkipsDamagedLines) {
  const ChangeRecord done = Change("/dev/ttyUSB0", 1, "done");
  AppendRaw("garbage in the middle\n");
  AppendRaw("qlr5500-history\t2\tstarted\tfrom-the-future\t.\n");
  const ChangeRecord failed = Change("/dev/ttyUSB1", 2, "failed");
  AppendRaw(CompletionLine({.backupName = "never-started.bin", .done = true}));
  AppendRaw(StartedLine(Record("/dev/ttyUSB2", 3)).substr(0, 300));

  const History history = ReadHistory(folder.path);
  ASSERT_EQ(history.changes.size(), 2u);
  EXPECT_EQ(history.changes[0].number, 2);
  EXPECT_EQ(history.changes[1].number, 1);
  EXPECT_EQ(history.changes[0].record, failed);
  EXPECT_EQ(history.changes[0].outcome, ChangeOutcome::Failed);
  EXPECT_EQ(history.changes[0].completion->failedAddress, 1);
  EXPECT_EQ(history.changes[0].completion->why, "no answer");
  EXPECT_EQ(history.changes[1].record, done);
  EXPECT_EQ(history.changes[1].outcome, ChangeOutcome::Done);
  EXPECT_EQ(history.notes, (std::vector<std::string>{
                               "history.log line 3 is no history record: skipped",
                               "history.log line 4 was written by a newer qlr5500 (format 2): skipped",
                               "history.log line 7 is an outcome without its start: skipped",
                               "history.log line 8 is cut short: skipped",
                           }));
  // The next record starts a line of its own after the short one.
  Change("/dev/ttyUSB3", 4, "done");
  EXPECT_EQ(ReadHistory(folder.path).changes.size(), 3u);
  EXPECT_EQ(ReadHistory(folder.path).notes, history.notes);
}

TEST_F(HistoryTest, TwoProcessesAppendingAtOnceLoseAndMixNothing) {
  constexpr int PerProcess = 200;
  pid_t children[2];
  for (const char* const name : {"a", "b"}) {
    pid_t& child = children[*name - 'a'];
    child = ::fork();
    if (child == 0) {
      for (int i = 0; i < PerProcess; ++i) {
        ChangeRecord record = Record(std::to_string(i), 9);
        record.backupName = name + std::to_string(i) + ".bin";
        if (!AppendToLog(HistoryLogPath(folder.path), StartedLine(record), folder)) _exit(1);
      }
      _exit(0);
    }
  }
  for (const pid_t child : children) {
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
  }
  const History history = ReadHistory(folder.path);
  EXPECT_TRUE(history.notes.empty()) << history.notes.front();
  ASSERT_EQ(history.changes.size(), 2u * PerProcess);
  // Each process's records whole and in its own order.
  int next[2] = {PerProcess - 1, PerProcess - 1};
  for (const qlr::Change& change : history.changes) {
    const std::string& name = change.record.backupName;
    EXPECT_EQ(name, name.substr(0, 1) + std::to_string(next[name[0] - 'a']--) + ".bin");
  }
}

TEST_F(HistoryTest, AChangeWithoutOutcomeIsInProgressWhileItsLockIsHeld) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    ChangeRecorder recorder(folder);
    ChangeRecord record = Record("/dev/ttyUSB0", 5);
    const bool begun = static_cast<bool>(recorder.Begin(record, "USA"));
    [[maybe_unused]] const ssize_t told = ::write(ready[1], &begun, 1);
    ::pause();
    _exit(0);
  }
  bool begun = false;
  ASSERT_EQ(::read(ready[0], &begun, 1), 1);
  ASSERT_TRUE(begun);
  EXPECT_EQ(ReadHistory(folder.path).changes.at(0).outcome, ChangeOutcome::InProgress);
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
  History history = ReadHistory(folder.path);
  EXPECT_EQ(history.changes.at(0).outcome, ChangeOutcome::Cut);
  EXPECT_TRUE(history.changes.at(0).unsettled);
  // A later change of another device leaves it unsettled; one of the same device settles it.
  Change("/dev/ttyUSB1", 6, "done");
  EXPECT_TRUE(ReadHistory(folder.path).changes.at(1).unsettled);
  Change("/dev/ttyUSB0", 7, "failed");
  EXPECT_TRUE(ReadHistory(folder.path).changes.at(2).unsettled);
  Change("/dev/ttyUSB0", 8, "done");
  EXPECT_FALSE(ReadHistory(folder.path).changes.at(3).unsettled);
}

TEST_F(HistoryTest, BackupsAreReadOnlyAndTheirStateIsTold) {
  const ChangeRecord kept = Change("/dev/ttyUSB0", 1, "done");
  const ChangeRecord deleted = Change("/dev/ttyUSB0", 2, "done");
  const ChangeRecord altered = Change("/dev/ttyUSB0", 3, "done");
  EXPECT_EQ(kept.backupName.substr(19), "_ttyUSB0_EUR-AUS_before-write.bin");
  EXPECT_NE(kept.backupName, deleted.backupName);
  struct stat status {};
  ASSERT_EQ(::stat((folder.path / kept.backupName).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0444u);
  fs::remove(folder.path / deleted.backupName);
  fs::permissions(folder.path / altered.backupName, fs::perms::owner_write, fs::perm_options::add);
  std::ofstream(folder.path / altered.backupName, std::ios::app) << "x";
  const History history = ReadHistory(folder.path);
  EXPECT_EQ(history.changes[0].backup, BackupState::Altered);
  EXPECT_EQ(history.changes[1].backup, BackupState::Deleted);
  EXPECT_EQ(history.changes[2].backup, BackupState::Kept);
}

// The clock set back (or summer time ending) after a backup was deleted:
// the name the next change would get is in the history already.
TEST_F(HistoryTest, ANameTheHistoryHoldsIsNeverTakenAgain) {
  for (std::time_t when = std::time(nullptr), last = when + 2; when < last; ++when) {
    char stem[32];
    std::strftime(stem, sizeof stem, "%Y-%m-%dT%H-%M-%S", std::localtime(&when));
    ChangeRecord earlier = Record("/dev/ttyUSB0", 1);
    earlier.backupName = std::string(stem) + "_ttyUSB0_EUR-AUS_before-write.bin";
    AppendRaw(StartedLine(earlier));
  }
  const ChangeRecord record = Change("/dev/ttyUSB0", 2, "done");
  EXPECT_TRUE(record.backupName.ends_with("_ttyUSB0_EUR-AUS_before-write-2.bin")) << record.backupName;
  const History history = ReadHistory(folder.path);
  EXPECT_EQ(history.changes.size(), 3u);
  EXPECT_TRUE(history.notes.empty());
  // Its time says how far it is from UTC: "2026-12-10T05:16:56+00:00".
  EXPECT_EQ(record.time.size(), 25u);
  EXPECT_TRUE(record.time[19] == '+' || record.time[19] == '-') << record.time;
}

// Root with SUDO_UID and SUDO_GID, as sudo leaves it: the invoking user's folder, and what is made in it theirs.
TEST(BackupFolder, UnderSudoTheFolderIsTheInvokingUsersAndAMissingHomeIsNeverMade) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  TempDirectory dir;
  const fs::path home = dir / "home";
  fs::create_directory(home);
  ASSERT_EQ(::chown(home.c_str(), testing::UnprivilegedId, testing::UnprivilegedId), 0);
  Environment environment{{"SUDO_UID", std::to_string(testing::UnprivilegedId)},
                          {"SUDO_GID", std::to_string(testing::UnprivilegedId)},
                          {"XDG_DATA_HOME", (home / "data").string()}};
  BackupResult<BackupFolder> found = FindBackupFolder(std::nullopt, environment);
  ASSERT_TRUE(found);
  EXPECT_EQ(found.Value().path, home / "data" / "qlr5500" / "backups");
  // A folder outside the user's own stays root's, and so does what is kept there.
  const fs::path elsewhere = dir / "srv" / "backups";
  const BackupResult<BackupFolder> chosen = FindBackupFolder(elsewhere, environment);
  for (const BackupFolder& folder : {found.Value(), chosen.Value()}) {
    ASSERT_TRUE(MakeBackupFolder(folder));
    ChangeRecord record = Record("/dev/ttyUSB0", 1);
    ChangeRecorder recorder(folder);
    ASSERT_TRUE(recorder.Begin(record, "USA"));
    const unsigned owner = folder.path == elsewhere ? 0 : testing::UnprivilegedId;
    for (const fs::path& made :
         {folder.path.parent_path(), folder.path, folder.path / record.backupName, HistoryLogPath(folder.path)}) {
      struct stat status {};
      ASSERT_EQ(::stat(made.c_str(), &status), 0);
      EXPECT_EQ(status.st_uid, owner) << made;
    }
  }
  // The scratch folder was there before: it is never given away.
  struct stat status {};
  ASSERT_EQ(::stat(dir.Path().c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
  // Without XDG_DATA_HOME the home is the user's from the password database: /nonexistent for uid 65534.
  environment.Set("XDG_DATA_HOME", "");
  found = FindBackupFolder(std::nullopt, environment);
  ASSERT_TRUE(found);
  const BackupResult<> made = MakeBackupFolder(found.Value());
  EXPECT_EQ(made.Failure().kind, BackupFailureKind::NoDataFolder);
  EXPECT_FALSE(fs::exists(found.Value().home));
  // A directory service's ids run to ten digits.
  environment.Set("XDG_DATA_HOME", (dir / "data").string());
  environment.Set("SUDO_UID", "1829600001");
  environment.Set("SUDO_GID", "1829600002");
  found = FindBackupFolder(std::nullopt, environment);
  ASSERT_TRUE(found && found.Value().owner);
  EXPECT_EQ(found.Value().owner->uid, 1829600001u);
  EXPECT_EQ(found.Value().owner->gid, 1829600002u);
  // A file where a folder should be.
  testing::WriteBytes(dir / "file", {1});
  EXPECT_EQ(MakeBackupFolder({dir / "file" / "backups"}).Failure().kind, BackupFailureKind::FolderRefused);
}

}  // namespace
}  // namespace qlr
