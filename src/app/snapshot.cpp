#include "app/snapshot.h"

#include "image/eeprom_image.h"
#include "image/image_file.h"

namespace qlr {

bool TakeSnapshot(CReceiverLink& link, const std::filesystem::path& directory) {
  const std::filesystem::path file = directory / SnapshotFileName;
  std::error_code error;
  // Any entry of that name counts, even a dangling link or a directory.
  if (std::filesystem::symlink_status(file, error).type() != std::filesystem::file_type::not_found) return false;
  if (!link.FindReceiver()) return false;
  EepromImage image{};
  if (!link.ReadEeprom(0, static_cast<int>(image.size()), image.data(), nullptr)) return false;
  return static_cast<bool>(SaveImageFile(file, image, {.replaceExisting = false, .mode = 0444, .hidden = true}));
}

}  // namespace qlr
