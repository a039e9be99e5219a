// The backup folder on Windows: %LOCALAPPDATA%\SaveQLR5500\backups, from the
// known-folder API. Files belong to the user who makes them.
#include <windows.h>
// After windows.h, which it needs.
#include <knownfolders.h>
#include <shlobj.h>

#include <memory>

#include "backup/backup_folder.h"
#include "backup/folder_making.h"

namespace qlr {
namespace fs = std::filesystem;

BackupResult<BackupFolder> FindBackupFolder(const std::optional<fs::path>& chosen, const Environment&) {
  BackupFolder folder;
  if (chosen) {
    folder.path = *chosen;
    return folder;
  }
  PWSTR known = nullptr;
  const HRESULT found = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DONT_VERIFY, nullptr, &known);
  const std::unique_ptr<wchar_t, void (*)(void*)> owned(known, ::CoTaskMemFree);
  if (FAILED(found) || known == nullptr) {
    return BackupFailure{BackupFailureKind::NoDataFolder,
                         "Windows names no local application data folder (--backup-dir names one)"};
  }
  // Its own folder must exist; what is below it is made when missing.
  folder.home = fs::path(known);
  folder.path = folder.home / L"SaveQLR5500" / L"backups";
  return folder;
}

BackupResult<> MakeBackupFolder(const BackupFolder& folder) {
  if (BackupResult<> home = RefuseMissingHome(folder); !home) return home;
  return MakeFoldersOnPath(folder.path);
}

// The folder's ACL decides who else may write it; there is no sudo to walk for.
BackupResult<> CheckBackupFolder(const BackupFolder&) { return {}; }

}  // namespace qlr
