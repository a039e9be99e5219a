// The backup folder on POSIX systems, opened for the steps that make or
// read files in it: each step acts relative to the folder's descriptor, so
// a folder renamed or replaced by a link meanwhile is never written into.
// Used by the POSIX files of src/backup only.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"
#include "os/unique_fd.h"

namespace qlr {

struct OpenedFolder {
  UniqueFd fd;  // none when the folder does not exist and was not to be made
  // Who gets a file made in it: the folder's owner when it is the user root
  // works for (sudo); none for the process's own user.
  std::optional<FileOwner> giveTo{};
};

// Opens the folder into `opened`, making what is missing when `make` (each
// new folder mode 0700); `opened` holds no descriptor when the folder does
// not exist and was not to be made. Running for another user (folder.owner), it walks from / and
// never follows a symbolic link that stands in a folder that user may
// write, and gives that user only the folders it makes inside folders of
// theirs. Refuses a folder that CheckTrusted refuses.
BackupResult<> OpenBackupFolder(const BackupFolder& folder, bool make, OpenedFolder& opened);

// The walk of OpenBackupFolder for another user (folder_walk_posix.cpp),
// which opens the folder into `fd`.
BackupResult<> WalkForAnotherUser(const BackupFolder& folder, bool make, UniqueFd& fd);

// Refuses `path` (the folder, or its history), as `status` shows it, when
// it belongs to neither the user nor root, or when others may write it;
// each refusal names the command that mends it.
BackupResult<> CheckTrusted(const std::filesystem::path& path, const struct stat& status, const BackupFolder& folder);

// A user's name from the password database, or their number.
std::string UserName(unsigned uid);

}  // namespace qlr
