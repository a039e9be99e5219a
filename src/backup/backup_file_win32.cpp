// Backup files on Windows: saved by path (no other user's links to fear:
// the folder is the user's own), looked at without following a reparse
// point. A folder's entry needs no flush of its own here: the file system
// journals it with the file.
#include <windows.h>

#include "backup/backup_file.h"
#include "os/unique_handle.h"

namespace qlr {

BackupResult<> KeepBackupFile(const BackupFolder& folder, const std::string& name, const EepromImage& image) {
  const std::filesystem::path file = folder.path / name;
  return BackupFileKept(SaveImageFile(file, image, {.replaceExisting = false, .mode = 0444}), file);
}

BackupState StateOfBackupFile(const std::filesystem::path& file, const EepromImage& kept) {
  const DWORD attributes = ::GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? BackupState::Deleted
                                                                          : BackupState::Unreadable;
  }
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) return BackupState::NotAFile;
  const UniqueHandle handle(::CreateFileW(file.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle) return ::GetLastError() == ERROR_FILE_NOT_FOUND ? BackupState::Deleted : BackupState::Unreadable;
  if (::GetFileType(handle.Get()) != FILE_TYPE_DISK) return BackupState::NotAFile;
  std::uint8_t bytes[EepromSize + 1];
  DWORD got = 0;
  if (!::ReadFile(handle.Get(), bytes, sizeof bytes, &got, nullptr)) return BackupState::Unreadable;
  return StateOfBytes(bytes, got, kept);
}

}  // namespace qlr
