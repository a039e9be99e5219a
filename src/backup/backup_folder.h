// Where qlr5500 keeps its backups and their history, who owns what it
// makes there, and when the folder is to be trusted.
//
// Linux (any POSIX system): $XDG_DATA_HOME/qlr5500/backups, by default
// ~/.local/share/qlr5500/backups. Under sudo (root, with SUDO_UID and
// SUDO_GID set) it is the invoking user's folder, the home taken from the
// password database. Windows: %LOCALAPPDATA%\SaveQLR5500\backups, through
// the known-folder API. A folder the user chose (--backup-dir) replaces
// either.
//
// Running for another user (sudo), root gives that user only what it has
// just made inside a folder of theirs, never changes the owner of anything
// that was there, and reaches the folder without following a symbolic link
// that stands in a folder the user may write; a folder outside the user's
// own stays root's. Like ssh with its own files, a folder (or history) that
// belongs to neither the user nor root, or that others may write, is
// refused, on POSIX systems; Windows leaves that to the folder's ACL.
//
// A missing home is never made: a folder below a home that does not exist
// (uid 65534's /nonexistent) is refused before anything is written.
#pragma once

#include <filesystem>
#include <optional>

#include "backup/backup_failure.h"
#include "os/environment.h"

namespace qlr {

// A user's ids, to give files to.
struct FileOwner {
  unsigned uid = 0;
  unsigned gid = 0;
};

struct BackupFolder {
  std::filesystem::path path{};
  // Must exist before anything below it is made: the home the folder lies
  // in. Empty for a folder the user chose.
  std::filesystem::path home{};
  // The user root works for (sudo); none when it is the process's own user.
  std::optional<FileOwner> owner{};
};

// The folder, `chosen` if given. Looks only: creates nothing. Fails when
// there is no home to look in (HOME unset, no such user, no known folder).
// POSIX systems take HOME, XDG_DATA_HOME, SUDO_UID and SUDO_GID from
// `environment`; Windows asks the known-folder API.
BackupResult<BackupFolder> FindBackupFolder(const std::optional<std::filesystem::path>& chosen,
                                            const Environment& environment);

// Makes the folder and the folders missing above it (mode 0700) and checks
// that it can be trusted; a home that does not exist is refused, and so is
// a path on which something other than a folder stands.
BackupResult<> MakeBackupFolder(const BackupFolder& folder);

// Whether the folder and its history can be trusted and read: refuses
// (Untrusted, with the command that mends it) what MakeBackupFolder would
// refuse, and a history that is another user's, that others may write, or
// that is no regular file. A folder that does not exist is no refusal.
BackupResult<> CheckBackupFolder(const BackupFolder& folder);

}  // namespace qlr
