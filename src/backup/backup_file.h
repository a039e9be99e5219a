// A backup file in the backup folder: kept once, never replaced, and looked
// at without trusting what stands in its place.
#pragma once

#include <filesystem>
#include <string>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"
#include "backup/history.h"
#include "image/eeprom_image.h"
#include "image/image_file.h"

namespace qlr {

// Keeps `image` as the new backup file `name` (a plain name) in the folder,
// which must have been made (MakeBackupFolder): read-only, written whole or
// not at all, its folder entry flushed to disk, given to the folder's user
// when root keeps it for them. Fails with NameTaken when a file of that
// name exists, and leaves it alone. POSIX: made relative to the folder
// reached afresh as MakeBackupFolder reaches it, never through a link.
BackupResult<> KeepBackupFile(const BackupFolder& folder, const std::string& name, const EepromImage& image);

// Whether `file` still holds `kept`, the history's copy: never waits (a
// FIFO), follows no symbolic link and opens only a regular file.
BackupState StateOfBackupFile(const std::filesystem::path& file, const EepromImage& kept);

// For each system's side of the above (backup_file.cpp): the result of the
// save of `file`, and the state of a file of which `got` bytes were read
// (at most EepromSize + 1, to tell a longer file).
BackupResult<> BackupFileKept(const ImageFileResult& saved, const std::filesystem::path& file);
BackupState StateOfBytes(const std::uint8_t* bytes, std::size_t got, const EepromImage& kept);

}  // namespace qlr
