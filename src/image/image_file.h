// Image files: exactly the 128 bytes of an EepromImage, raw, in address
// order, with nothing before or after them.
//
// Saving never destroys what was there: the bytes go to a temporary file in
// the same directory, which is flushed to disk and then renamed over the
// target. A target without any write permission bit is refused before
// anything is written (checked on the mode bits, since root could open it).
#pragma once

#include <filesystem>
#include <string>

#include "image/eeprom_image.h"

namespace qlr {

enum class ImageFileStatus {
  Ok,
  CannotOpen,      // missing, unreadable, a directory, ...
  TooShort,        // fewer than 128 bytes
  ReadOnlyTarget,  // the target exists without write permission
  AlreadyExists,   // the target exists and the caller asked not to replace it
  WriteFailed,     // the temporary file could not be made, written, flushed or renamed
};

struct ImageFileResult {
  ImageFileStatus status = ImageFileStatus::Ok;
  int sysErrno = 0;

  explicit operator bool() const { return status == ImageFileStatus::Ok; }
  // A sentence for a user, e.g. "QLR5500.BIN is read-only".
  std::string Describe(const std::filesystem::path& path) const;
};

struct SaveOptions {
  bool replaceExisting = true;
  // Permission bits of the new file; -1 keeps those of a replaced file, and
  // gives a new one the usual 0666 less the umask.
  int mode = -1;
};

// Loads the first 128 bytes of the file; longer files are accepted.
ImageFileResult LoadImageFile(const std::filesystem::path& path, EepromImage& image);

// Saves the image as a 128-byte file, atomically: all of it or nothing.
ImageFileResult SaveImageFile(const std::filesystem::path& path, const EepromImage& image,
                              const SaveOptions& options = {});

}  // namespace qlr
