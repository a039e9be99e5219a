// Saving an image on POSIX file systems: temporary file, fsync, rename,
// each step relative to the folder the file goes in (the current one, for a
// path). The rename that refuses an existing name is each system's own
// (image_file_posix.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "image/image_file.h"
#include "image/image_file_in_folder.h"
#include "image/image_file_posix.h"
#include "os/unique_fd.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

constexpr int TemporaryNameTries = 16;

// Where a file goes: `name` relative to the folder open as `folder`, which
// is AT_FDCWD for a path.
struct Place {
  int folder = AT_FDCWD;
  fs::path name;
};

// Removes the temporary file unless it was moved into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(int folder) : folder_(folder) {}
  ~TemporaryFile() {
    fd_.Reset();
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Created beside `target` so that the final rename stays on one file system.
  bool Create(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
      const std::string name =
          "." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
      const fs::path candidate = target.parent_path() / name;
      // 0666: the kernel applies the user's umask, as for any new file.
      fd_.Reset(::openat(folder_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (fd_) {
        name_ = candidate;
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }

  bool WriteAll(const std::uint8_t* bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
      const ssize_t written = ::write(fd_.Get(), bytes + done, length - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        if (written == 0) errno = ENOSPC;
        return false;
      }
      done += static_cast<std::size_t>(written);
    }
    return true;
  }

  // Only root may give a file away; anyone may keep a group they belong to.
  // Neither is an error: the bytes matter more than who owns them.
  void KeepOwner(uid_t owner, gid_t group) {
    if (::fchown(fd_.Get(), owner, group) == 0) return;
    [[maybe_unused]] const int groupOnly = ::fchown(fd_.Get(), static_cast<uid_t>(-1), group);
  }

  bool SetMode(mode_t mode) { return ::fchmod(fd_.Get(), mode) == 0; }

  bool SyncAndClose() {
    const bool synced = ::fsync(fd_.Get()) == 0;
    const int error = errno;
    // close() reports late write errors of some file systems, so it is called here, once.
    const bool closed = ::close(fd_.Release()) == 0;
    if (!synced) errno = error;
    return synced && closed;
  }

  // Puts the file in place; without `replace` an existing target is kept.
  bool MoveTo(const fs::path& target, bool replace) {
    int result = 0;
    if (replace) {
      result = ::renameat(folder_, name_.c_str(), folder_, target.c_str());
    } else {
      result = RenameNoReplace(folder_, name_, target) ? 0 : -1;
      if (result != 0 && errno == ENOTSUP) {
        // File systems without the flag: a hard link refuses an existing name too.
        result = ::linkat(folder_, name_.c_str(), folder_, target.c_str(), 0);
        if (result == 0) return true;  // the destructor unlinks the temporary name
      }
    }
    if (result != 0) return false;
    name_.clear();
    return true;
  }

 private:
  int folder_;
  UniqueFd fd_;
  fs::path name_;
};

// The new name reaches the disk with its folder; a folder found by path is
// flushed where it can be opened, as a last step that no longer fails.
bool SyncFolder(const Place& place) {
  if (place.folder != AT_FDCWD) return ::fsync(place.folder) == 0 || errno == EINVAL;
  const fs::path directory = place.name.has_parent_path() ? place.name.parent_path() : fs::path(".");
  const UniqueFd directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directoryFd) ::fsync(directoryFd.Get());
  return true;
}

// Writing through a symbolic link means replacing the file it names.
fs::path ResolvedTarget(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
  return fs::weakly_canonical(path, error);
}

// The refusal for a target that exists, or Ok.
ImageFileResult CheckExisting(const Place& target, const struct stat& existing, const SaveOptions& options) {
  if (!options.replaceExisting) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
  if (S_ISDIR(existing.st_mode)) return ImageFileFailure{ImageFileStatus::CannotOpen, EISDIR};
  // A rename would put a file where a FIFO, device or socket was.
  if (!S_ISREG(existing.st_mode)) return ImageFileFailure{ImageFileStatus::NotRegularFile, 0};
  // The mode bits, since the kernel would let root write anything.
  if ((existing.st_mode & 0222) == 0) return ImageFileFailure{ImageFileStatus::ReadOnlyTarget, EACCES};
  // The directory's permission is what a rename needs; the file's own
  // owner, group and ACL must not be passed over.
  if (::faccessat(target.folder, target.name.c_str(), W_OK, AT_EACCESS) != 0) {
    return ImageFileFailure{ImageFileStatus::NotPermitted, errno};
  }
  return {};
}

ImageFileResult SaveAt(const Place& target, const EepromImage& image, const SaveOptions& options) {
  struct stat existing {};
  const bool exists = ::fstatat(target.folder, target.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists) {
    if (const ImageFileResult refusal = CheckExisting(target, existing, options); !refusal) return refusal;
  }

  TemporaryFile temporary(target.folder);
  if (!temporary.Create(target.name)) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  if (!temporary.WriteAll(image.data(), image.size())) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  // Before the mode: a change of owner may clear set-id bits.
  if (exists) {
    temporary.KeepOwner(existing.st_uid, existing.st_gid);
  } else if (options.owner && options.group) {
    temporary.KeepOwner(*options.owner, *options.group);
  }
  if (options.mode >= 0 || exists) {
    const mode_t mode = options.mode >= 0 ? static_cast<mode_t>(options.mode) : existing.st_mode & 07777;
    if (!temporary.SetMode(mode)) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  }
  if (!temporary.SyncAndClose()) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  if (!temporary.MoveTo(target.name, options.replaceExisting)) {
    const int moveError = errno;
    if (moveError == EEXIST) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
    return ImageFileFailure{ImageFileStatus::WriteFailed, moveError};
  }
  if (!SyncFolder(target)) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  return {};
}

}  // namespace

ImageFileResult LoadImageFile(const std::filesystem::path& path, EepromImage& image) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return ImageFileFailure{ImageFileStatus::CannotOpen, errno};
  EepromImage loaded{};
  const std::size_t got = std::fread(loaded.data(), 1, loaded.size(), file.get());
  if (got < loaded.size()) {
    // A directory opens but does not read.
    if (std::ferror(file.get())) return ImageFileFailure{ImageFileStatus::CannotOpen, errno};
    return ImageFileFailure{ImageFileStatus::TooShort, 0};
  }
  image = loaded;
  return {};
}

ImageFileResult CheckSaveTarget(const fs::path& path, const SaveOptions& options) {
  const Place target{AT_FDCWD, ResolvedTarget(path)};
  struct stat existing {};
  if (::lstat(target.name.c_str(), &existing) != 0) return {};
  return CheckExisting(target, existing, options);
}

ImageFileResult SaveImageFile(const fs::path& path, const EepromImage& image, const SaveOptions& options) {
  return SaveAt({AT_FDCWD, ResolvedTarget(path)}, image, options);
}

ImageFileResult SaveImageFileIn(int folder, const std::string& name, const EepromImage& image,
                                const SaveOptions& options) {
  // A name only: nothing outside the folder, and no link followed.
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    return ImageFileFailure{ImageFileStatus::WriteFailed, EINVAL};
  }
  return SaveAt({folder, name}, image, options);
}

}  // namespace qlr
