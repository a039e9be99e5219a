// Saving an image on POSIX file systems: temporary file, fsync, rename.
// The rename that refuses an existing name is each system's own
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
#include "image/image_file_posix.h"
#include "os/unique_fd.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

constexpr int TemporaryNameTries = 16;

// Removes the temporary file unless it was moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    fd_.Reset();
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Created beside `target` so that the final rename stays on one file system.
  bool Create(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
      const std::string name =
          "." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
      const fs::path candidate = directory / name;
      // 0666: the kernel applies the user's umask, as for any new file.
      fd_.Reset(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
      if (fd_) {
        path_ = candidate;
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
      result = ::rename(path_.c_str(), target.c_str());
    } else {
      result = RenameNoReplace(path_, target) ? 0 : -1;
      if (result != 0 && errno == ENOTSUP) {
        // File systems without the flag: a hard link refuses an existing name too.
        result = ::link(path_.c_str(), target.c_str());
        if (result == 0) return true;  // the destructor unlinks the temporary name
      }
    }
    if (result != 0) return false;
    path_.clear();
    return true;
  }

 private:
  UniqueFd fd_;
  fs::path path_;
};

void SyncDirectoryOf(const fs::path& target) {
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const UniqueFd directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directoryFd) ::fsync(directoryFd.Get());
}

// Writing through a symbolic link means replacing the file it names.
fs::path ResolvedTarget(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
  return fs::weakly_canonical(path, error);
}

// The refusal for a target that exists, or Ok.
ImageFileResult CheckExisting(const fs::path& target, const struct stat& existing, const SaveOptions& options) {
  if (!options.replaceExisting) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
  if (S_ISDIR(existing.st_mode)) return ImageFileFailure{ImageFileStatus::CannotOpen, EISDIR};
  // A rename would put a file where a FIFO, device or socket was.
  if (!S_ISREG(existing.st_mode)) return ImageFileFailure{ImageFileStatus::NotRegularFile, 0};
  // The mode bits, since the kernel would let root write anything.
  if ((existing.st_mode & 0222) == 0) return ImageFileFailure{ImageFileStatus::ReadOnlyTarget, EACCES};
  // The directory's permission is what a rename needs; the file's own
  // owner, group and ACL must not be passed over.
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
    return ImageFileFailure{ImageFileStatus::NotPermitted, errno};
  }
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
  const fs::path target = ResolvedTarget(path);
  struct stat existing {};
  if (::lstat(target.c_str(), &existing) != 0) return {};
  return CheckExisting(target, existing, options);
}

ImageFileResult SaveImageFile(const fs::path& path, const EepromImage& image, const SaveOptions& options) {
  const fs::path target = ResolvedTarget(path);
  struct stat existing {};
  const bool exists = ::lstat(target.c_str(), &existing) == 0;
  if (exists) {
    if (const ImageFileResult refusal = CheckExisting(target, existing, options); !refusal) return refusal;
  }

  TemporaryFile temporary;
  if (!temporary.Create(target)) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  if (!temporary.WriteAll(image.data(), image.size())) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  // Before the mode: a change of owner may clear set-id bits.
  if (exists) temporary.KeepOwner(existing.st_uid, existing.st_gid);
  if (options.mode >= 0 || exists) {
    const mode_t mode = options.mode >= 0 ? static_cast<mode_t>(options.mode) : existing.st_mode & 07777;
    if (!temporary.SetMode(mode)) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  }
  if (!temporary.SyncAndClose()) return ImageFileFailure{ImageFileStatus::WriteFailed, errno};
  if (!temporary.MoveTo(target, options.replaceExisting)) {
    const int moveError = errno;
    if (moveError == EEXIST) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
    return ImageFileFailure{ImageFileStatus::WriteFailed, moveError};
  }
  SyncDirectoryOf(target);
  return {};
}

}  // namespace qlr
