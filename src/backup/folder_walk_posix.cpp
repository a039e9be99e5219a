// Reaching the backup folder as root for another user (sudo), the way a
// careful root does it: from / down, one folder at a time, so that no link
// the user planted leads root into a folder of someone else's.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <system_error>

#include "backup/folder_access_posix.h"
#include "os/utf8_path.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

// As the kernel's own limit on links in one path.
constexpr int MostLinks = 40;

UniqueFd OpenFolderIn(int parent, const char* name) {
  return UniqueFd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool UserMayWrite(const struct stat& folder, const FileOwner& user) {
  return folder.st_uid == user.uid || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// What the link `name` in the folder `parent` names; empty when it cannot be read.
fs::path LinkTarget(int parent, const char* name) {
  std::string target(4096, '\0');
  const ssize_t length = ::readlinkat(parent, name, target.data(), target.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return {};
  target.resize(static_cast<std::size_t>(length));
  return target;
}

// Makes `name` in `parent` (whose status is `above`) as a folder of root's,
// mode 0700, given to the user when `parent` is theirs. Nothing when it
// could not be made; a folder made meanwhile by someone else is opened as
// it is, and its owner left alone.
BackupResult<> MakeFolderIn(int parent, const struct stat& above, const fs::path& name, const fs::path& where,
                            const FileOwner& user, UniqueFd& made) {
  if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
    return BackupFailure{BackupFailureKind::FolderRefused,
                         WithReason("cannot make the folder " + Utf8OfPath(where), errno)};
  }
  made = OpenFolderIn(parent, name.c_str());
  struct stat status {};
  if (!made || ::fstat(made.Get(), &status) != 0) {
    return BackupFailure{BackupFailureKind::FolderRefused,
                         WithReason("cannot open the folder " + Utf8OfPath(where), errno)};
  }
  if (status.st_uid != ::geteuid()) return {};
  // Not left to the umask.
  [[maybe_unused]] const int moded = ::fchmod(made.Get(), 0700);
  if (above.st_uid != user.uid) return {};
  // Best effort: the backup matters more than who owns its folder.
  [[maybe_unused]] const int given = ::fchown(made.Get(), user.uid, user.gid);
  return {};
}

}  // namespace

BackupResult<> WalkForAnotherUser(const BackupFolder& folder, bool make, UniqueFd& fd) {
  const FileOwner user = *folder.owner;
  std::error_code error;
  const fs::path absolute = fs::absolute(folder.path, error).lexically_normal();
  const fs::path below = absolute.relative_path();
  std::deque<fs::path> left(below.begin(), below.end());
  UniqueFd current(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  fs::path reached = "/";
  int links = 0;
  while (current && !left.empty()) {
    const fs::path name = left.front();
    left.pop_front();
    if (name.empty() || name == ".") continue;
    struct stat here {};
    if (::fstat(current.Get(), &here) != 0) break;
    UniqueFd next = OpenFolderIn(current.Get(), name.c_str());
    const int openError = errno;
    struct stat entry {};
    const bool exists = next || ::fstatat(current.Get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno == ENOENT) {
      if (!make) return {};
      if (BackupResult<> made = MakeFolderIn(current.Get(), here, name, reached / name, user, next); !made) return made;
    } else if (!next && exists && S_ISLNK(entry.st_mode)) {
      if (UserMayWrite(here, user)) {
        const std::string link = left.empty() ? "it" : Utf8OfPath(reached / name);
        return BackupFailure{BackupFailureKind::Untrusted,
                             "refusing " + Utf8OfPath(folder.path) + ": " + link +
                                 " is a symbolic link in a folder that " + UserName(user.uid) +
                                 " may write, which root does not follow for them (run qlr5500 without sudo, or "
                                 "name the folder it leads to with --backup-dir)"};
      }
      const fs::path target = LinkTarget(current.Get(), name.c_str());
      if (++links > MostLinks || target.empty()) {
        return BackupFailure{BackupFailureKind::FolderRefused,
                             WithReason("cannot open the folder " + Utf8OfPath(reached / name), ELOOP)};
      }
      const fs::path steps = target.relative_path();
      left.insert(left.begin(), steps.begin(), steps.end());
      if (target.is_absolute()) {
        current.Reset(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        reached = "/";
      }
      continue;
    } else if (!next && exists && !S_ISDIR(entry.st_mode)) {
      return BackupFailure{
          BackupFailureKind::FolderRefused,
          "cannot keep backups in " + Utf8OfPath(folder.path) + ": " + Utf8OfPath(reached / name) + " is not a folder"};
    } else if (!next) {
      return BackupFailure{BackupFailureKind::FolderRefused,
                           WithReason("cannot open the folder " + Utf8OfPath(reached / name), openError)};
    }
    current = std::move(next);
    reached = name == ".." ? reached.parent_path() : reached / name;
  }
  if (!current) {
    return BackupFailure{BackupFailureKind::FolderRefused, WithReason("cannot open " + Utf8OfPath(reached), errno)};
  }
  fd = std::move(current);
  return {};
}

}  // namespace qlr
