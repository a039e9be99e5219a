// Backup files on POSIX systems: made in the folder held open, looked at
// without blocking.
#include <fcntl.h>

#include <cerrno>
#include <string>

#include "backup/backup_file.h"
#include "backup/folder_access_posix.h"
#include "backup/regular_file_posix.h"
#include "image/image_file_in_folder.h"

namespace qlr {

BackupResult<> KeepBackupFile(const BackupFolder& folder, const std::string& name, const EepromImage& image) {
  OpenedFolder opened;
  if (BackupResult<> usable = OpenBackupFolder(folder, false, opened); !usable) return usable;
  const std::filesystem::path file = folder.path / name;
  if (!opened.fd) return BackupFileKept(ImageFileFailure{ImageFileStatus::WriteFailed, ENOENT}, file);
  SaveOptions options{.replaceExisting = false, .mode = 0444};
  if (opened.giveTo) {
    options.owner = opened.giveTo->uid;
    options.group = opened.giveTo->gid;
  }
  return BackupFileKept(SaveImageFileIn(opened.fd.Get(), name, image, options), file);
}

BackupState StateOfBackupFile(const std::filesystem::path& file, const EepromImage& kept) {
  const RegularFile opened = OpenRegularFile(AT_FDCWD, file.c_str(), O_RDONLY);
  if (opened.error == ENOENT) return BackupState::Deleted;
  if (opened.other) return BackupState::NotAFile;
  if (!opened.fd) return BackupState::Unreadable;
  std::string bytes;
  if (!ReadUpTo(opened.fd.Get(), bytes, EepromSize + 1)) return BackupState::Unreadable;
  return StateOfBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), kept);
}

}  // namespace qlr
