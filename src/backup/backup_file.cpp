#include "backup/backup_file.h"

#include <algorithm>

namespace qlr {

BackupResult<> BackupFileKept(const ImageFileResult& saved, const std::filesystem::path& file) {
  if (saved) return {};
  const BackupFailureKind kind = saved.Failure().status == ImageFileStatus::AlreadyExists
                                     ? BackupFailureKind::NameTaken
                                     : BackupFailureKind::BackupRefused;
  return BackupFailure{kind, saved.Failure().Describe(file)};
}

BackupState StateOfBytes(const std::uint8_t* bytes, std::size_t got, const EepromImage& kept) {
  return got == EepromSize && std::equal(kept.begin(), kept.end(), bytes) ? BackupState::Kept : BackupState::Altered;
}

}  // namespace qlr
