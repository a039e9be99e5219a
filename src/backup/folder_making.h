// What each system's MakeBackupFolder shares (backup_folder.cpp).
#pragma once

#include <filesystem>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"

namespace qlr {

// Refuses a folder below a home that does not exist: a home is never made.
BackupResult<> RefuseMissingHome(const BackupFolder& folder);

// Makes the folders missing on `path`, from the top down, each mode 0700
// for the process's own user; refuses a path on which something other than
// a folder stands.
BackupResult<> MakeFoldersOnPath(const std::filesystem::path& path);

}  // namespace qlr
