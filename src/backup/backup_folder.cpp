#include "backup/backup_folder.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "backup/folder_making.h"
#include "os/utf8_path.h"

namespace qlr {
namespace fs = std::filesystem;

std::string WithReason(std::string what, int sysErrno) {
  if (sysErrno == 0) return what;
  return what + " (" + std::strerror(sysErrno) + ")";
}

BackupResult<> RefuseMissingHome(const BackupFolder& folder) {
  std::error_code error;
  if (!folder.home.empty() && !fs::is_directory(folder.home, error)) {
    return BackupFailure{BackupFailureKind::NoDataFolder,
                         "the home folder " + Utf8OfPath(folder.home) + " does not exist (--backup-dir names another)"};
  }
  return {};
}

BackupResult<> MakeFoldersOnPath(const fs::path& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  fs::path partial = absolute.root_path();
  for (const fs::path& part : absolute.relative_path()) {
    partial /= part;
    if (fs::is_directory(partial, error)) continue;
    if (fs::exists(fs::symlink_status(partial, error))) {
      return BackupFailure{BackupFailureKind::FolderRefused, "cannot keep backups in " + Utf8OfPath(path) + ": " +
                                                                 Utf8OfPath(partial) + " is not a folder"};
    }
    if (!fs::create_directory(partial, error)) {
      return BackupFailure{BackupFailureKind::FolderRefused,
                           WithReason("cannot make the folder " + Utf8OfPath(partial), error.value())};
    }
    fs::permissions(partial, fs::perms::owner_all, error);
  }
  return {};
}

}  // namespace qlr
