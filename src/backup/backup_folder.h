// Where qlr5500 keeps its backups and their history, and who owns what it
// makes there.
//
// Linux (any POSIX system): $XDG_DATA_HOME/qlr5500/backups, by default
// ~/.local/share/qlr5500/backups. Under sudo (root, with SUDO_UID and
// SUDO_GID set) it is the invoking user's folder, the home taken from the
// password database, and whatever the program makes there is given to that
// user. Windows: %LOCALAPPDATA%\SaveQLR5500\backups, through the known-folder
// API. A folder the user chose (--backup-dir) replaces either.
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
  // Who gets what is made there; none when it is the process's own user.
  std::optional<FileOwner> owner{};
};

// The folder, `chosen` if given. Looks only: creates nothing. Fails when
// there is no home to look in (HOME unset, no such user, no known folder).
// POSIX systems take HOME, XDG_DATA_HOME, SUDO_UID and SUDO_GID from
// `environment`; Windows asks the known-folder API.
BackupResult<BackupFolder> FindBackupFolder(const std::optional<std::filesystem::path>& chosen,
                                            const Environment& environment);

// Makes the folder and the folders missing above it (mode 0700), each given
// to the owner; a home that does not exist is refused, and so is a path on
// which something other than a folder stands.
BackupResult<> MakeBackupFolder(const BackupFolder& folder);

// Gives `made` (a file or folder just made in the folder) to the folder's
// owner, when it has one. A symbolic link is not followed.
void HandOver(const BackupFolder& folder, const std::filesystem::path& made);

}  // namespace qlr
