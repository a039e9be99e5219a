// Opening the backup folder on POSIX systems, and what it takes to trust it
// and its history.
#include "backup/folder_access_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "backup/folder_making.h"
#include "backup/history_log.h"
#include "backup/regular_file_posix.h"
#include "os/shell_word_posix.h"
#include "os/user_database_posix.h"
#include "os/utf8_path.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

// The user the folder is kept for: the invoking one under sudo.
unsigned UserOf(const BackupFolder& folder) { return folder.owner ? folder.owner->uid : ::geteuid(); }

// A command that only the file's owner or root may run, as this process.
std::string AsOwner(unsigned owner, const std::string& command) {
  return (::geteuid() == 0 || ::geteuid() == owner ? "" : "sudo ") + command;
}

BackupFailure Untrusted(const fs::path& path, const std::string& why) {
  return BackupFailure{BackupFailureKind::Untrusted, "refusing " + Utf8OfPath(path) + ": " + why};
}

}  // namespace

std::string UserName(unsigned uid) {
  const std::optional<UserEntry> user = LookUpUser(uid);
  return user ? user->name : std::to_string(uid);
}

BackupResult<> CheckTrusted(const fs::path& path, const struct stat& status, const BackupFolder& folder) {
  const unsigned user = UserOf(folder);
  const bool isFolder = S_ISDIR(status.st_mode);
  const std::string word = PosixShellWord(Utf8OfPath(path));
  const std::string look = isFolder ? "look at what is in it, then " : "look at it, then ";
  if (status.st_uid != user && status.st_uid != 0 && status.st_uid != ::geteuid()) {
    const std::string chown = "chown " + std::string(isFolder ? "-R " : "") + UserName(user) + ": " + word;
    return Untrusted(path, "it belongs to " + UserName(status.st_uid) + ", not to " + UserName(user) + " (" + look +
                               "run 'sudo " + chown + "'" +
                               (isFolder ? ", or name another folder with --backup-dir" : "") + ")");
  }
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return Untrusted(path,
                     "others may write it (" + look + "run '" + AsOwner(status.st_uid, "chmod go-w " + word) + "')");
  }
  // Root must not add to a file of root's that the user linked into their folder.
  if (folder.owner && !isFolder && status.st_nlink > 1) {
    return Untrusted(path,
                     "it has other names (hard links), and root adds to no such file for another user (run "
                     "qlr5500 without sudo)");
  }
  return {};
}

BackupResult<> OpenBackupFolder(const BackupFolder& folder, bool make, OpenedFolder& opened) {
  opened = {};
  const auto cannotOpen = [&folder](int error) {
    return BackupFailure{BackupFailureKind::FolderRefused,
                         WithReason("cannot open the folder " + Utf8OfPath(folder.path), error)};
  };
  if (folder.owner) {
    if (BackupResult<> walked = WalkForAnotherUser(folder, make, opened.fd); !walked) return walked;
  } else {
    if (make) {
      if (BackupResult<> made = MakeFoldersOnPath(folder.path); !made) return made;
    }
    opened.fd.Reset(::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!opened.fd && errno == ENOENT && !make) return {};
    if (!opened.fd) return cannotOpen(errno);
  }
  if (!opened.fd) return {};
  struct stat status {};
  if (::fstat(opened.fd.Get(), &status) != 0) return cannotOpen(errno);
  if (BackupResult<> trusted = CheckTrusted(folder.path, status, folder); !trusted) return trusted;
  if (folder.owner && status.st_uid == folder.owner->uid) opened.giveTo = folder.owner;
  return {};
}

BackupResult<> MakeBackupFolder(const BackupFolder& folder) {
  if (BackupResult<> home = RefuseMissingHome(folder); !home) return home;
  OpenedFolder opened;
  return OpenBackupFolder(folder, true, opened);
}

BackupResult<> CheckBackupFolder(const BackupFolder& folder) {
  OpenedFolder opened;
  if (BackupResult<> usable = OpenBackupFolder(folder, false, opened); !usable || !opened.fd) return usable;
  const fs::path log = HistoryLogPath(folder.path);
  const RegularFile file = OpenRegularFile(opened.fd.Get(), log.filename().c_str(), O_RDONLY);
  if (file.error == ENOENT) return {};
  if (file.other) return Untrusted(log, "it is not a regular file (remove it)");
  if (!file.fd)
    return BackupFailure{BackupFailureKind::LogRefused, WithReason("cannot read " + Utf8OfPath(log), file.error)};
  return CheckTrusted(log, file.status, folder);
}

}  // namespace qlr
