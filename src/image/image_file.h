// Image files: exactly the 128 bytes of an EepromImage, raw, in address
// order, with nothing before or after them.
//
// Saving never destroys what was there: the bytes go to a temporary file in
// the same directory, which is flushed to disk and then renamed over the
// target. The new file keeps the mode of the file it replaces and, where
// the process may give them (as root), its owner and group too. Before
// anything is written, a target is refused when it has no write permission
// bit (which stops root as well), when this user may not write it, or when
// it is no regular file. A symbolic link stays; the file it names is
// replaced, under the same rules. On Windows a mode without write bits is
// the read-only attribute, and a target that has it is refused.
//
// Every call returns an ImageFileResult (os/result.h): true on success, or
// false with the ImageFileFailure that tells why.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "image/eeprom_image.h"
#include "os/result.h"

namespace qlr {

enum class ImageFileStatus {
  Ok,              // nothing failed: the Failure() of a successful result
  CannotOpen,      // missing, unreadable, a directory, ...
  TooShort,        // fewer than 128 bytes
  ReadOnlyTarget,  // the target exists without write permission
  NotPermitted,    // the target exists and this user may not write it
  NotRegularFile,  // the target exists and is a FIFO, device, socket, ...
  AlreadyExists,   // the target exists and the caller asked not to replace it
  WriteFailed,     // the temporary file could not be made, written, flushed or renamed
};

struct ImageFileFailure {
  ImageFileStatus status = ImageFileStatus::Ok;
  int sysErrno = 0;  // the system's reason, 0 where there is none

  // A sentence for a user, e.g. "QLR5500.BIN is read-only".
  std::string Describe(const std::filesystem::path& path) const;
};

using ImageFileResult = Result<void, ImageFileFailure>;

struct SaveOptions {
  bool replaceExisting = true;
  // Permission bits of the new file; -1 keeps those of a replaced file, and
  // gives a new one the usual 0666 less the umask.
  int mode = -1;
  // Windows: the hidden attribute from the start. POSIX files have none.
  bool hidden = false;
  // POSIX, as root: the user and group a new file belongs to from before it
  // takes its name; none for the process's own. Windows ignores them.
  std::optional<unsigned> owner{};
  std::optional<unsigned> group{};
};

// Loads the first 128 bytes of the file; longer files are accepted.
ImageFileResult LoadImageFile(const std::filesystem::path& path, EepromImage& image);

// Whether SaveImageFile would refuse `path` before writing anything: Ok,
// or the refusal it would give. Lets a caller refuse before the receiver is
// asked; SaveImageFile checks again.
ImageFileResult CheckSaveTarget(const std::filesystem::path& path, const SaveOptions& options = {});

// Saves the image as a 128-byte file, atomically: all of it or nothing.
ImageFileResult SaveImageFile(const std::filesystem::path& path, const EepromImage& image,
                              const SaveOptions& options = {});

}  // namespace qlr
