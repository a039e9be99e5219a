// Saving an image on Windows: temporary file, FlushFileBuffers, MoveFileExW
// with write-through. Permission bits become the read-only attribute.
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "image/image_file.h"
#include "os/nearest_errno.h"
#include "os/unique_handle.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

constexpr int TemporaryNameTries = 16;
// What a replaced file passes on to its successor (read-only is refused first).
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

int LastErrno() { return NearestErrno(::GetLastError()); }

// Removes the temporary file unless it was moved into place.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    file_.Reset();
    if (path_.empty()) return;
    // A read-only file cannot be deleted.
    ::SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Created beside `target` so that the final move stays on one volume.
  bool Create(const fs::path& target, DWORD attributes) {
    static std::atomic<unsigned> counter{0};
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < TemporaryNameTries; ++attempt) {
      const std::wstring name = L"." + target.filename().wstring() + L".tmp" +
                                std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(counter++);
      const fs::path candidate = directory / name;
      file_.Reset(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
      if (file_) {
        path_ = candidate;
        attributes_ = attributes & ~FILE_ATTRIBUTE_NORMAL;
        return true;
      }
      if (::GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    return false;
  }

  bool WriteAll(const std::uint8_t* bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
      DWORD written = 0;
      if (!::WriteFile(file_.Get(), bytes + done, static_cast<DWORD>(length - done), &written, nullptr)) return false;
      if (written == 0) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
      }
      done += written;
    }
    return true;
  }

  bool FlushAndClose() {
    const bool flushed = ::FlushFileBuffers(file_.Get()) != 0;
    const DWORD error = ::GetLastError();
    file_.Reset();
    if (!flushed) ::SetLastError(error);
    return flushed;
  }

  // After the close: set apart from creation so that no attribute is lost.
  // Those of the creation plus `attributes`, exactly: without the archive bit
  // that creating the file set.
  bool AddAttributes(DWORD attributes) { return ::SetFileAttributesW(path_.c_str(), attributes_ | attributes) != 0; }

  // Puts the file in place; without `replace` an existing target is kept.
  bool MoveTo(const fs::path& target, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!::MoveFileExW(path_.c_str(), target.c_str(), flags)) return false;
    path_.clear();
    return true;
  }

 private:
  UniqueHandle file_;
  fs::path path_;
  DWORD attributes_ = 0;  // asked for at creation
};

// The refusal for a target that exists with `attributes`, or Ok.
ImageFileResult CheckExisting(const fs::path& target, DWORD attributes, const SaveOptions& options) {
  if (!options.replaceExisting) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ImageFileFailure{ImageFileStatus::CannotOpen, EISDIR};
  if (attributes & FILE_ATTRIBUTE_DEVICE) return ImageFileFailure{ImageFileStatus::NotRegularFile, 0};
  if (attributes & FILE_ATTRIBUTE_READONLY) return ImageFileFailure{ImageFileStatus::ReadOnlyTarget, EACCES};
  // Opening for writing truncates nothing and tells whether the file's
  // security lets this user write it.
  const UniqueHandle probe(::CreateFileW(target.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe) return ImageFileFailure{ImageFileStatus::NotPermitted, LastErrno()};
  return {};
}

}  // namespace

ImageFileResult LoadImageFile(const fs::path& path, EepromImage& image) {
  const UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return ImageFileFailure{ImageFileStatus::CannotOpen, LastErrno()};
  EepromImage loaded{};
  std::size_t got = 0;
  while (got < loaded.size()) {
    DWORD read = 0;
    if (!::ReadFile(file.Get(), loaded.data() + got, static_cast<DWORD>(loaded.size() - got), &read, nullptr)) {
      return ImageFileFailure{ImageFileStatus::CannotOpen, LastErrno()};
    }
    if (read == 0) return ImageFileFailure{ImageFileStatus::TooShort, 0};
    got += read;
  }
  image = loaded;
  return {};
}

ImageFileResult CheckSaveTarget(const fs::path& path, const SaveOptions& options) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  return CheckExisting(path, attributes, options);
}

ImageFileResult SaveImageFile(const fs::path& path, const EepromImage& image, const SaveOptions& options) {
  const DWORD existing = ::GetFileAttributesW(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (const ImageFileResult refusal = CheckExisting(path, existing, options); !refusal) return refusal;
  }
  DWORD attributes = options.hidden ? FILE_ATTRIBUTE_HIDDEN : 0;
  if (existing != INVALID_FILE_ATTRIBUTES) attributes |= existing & KeptAttributes;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;

  TemporaryFile temporary;
  if (!temporary.Create(path, attributes)) return ImageFileFailure{ImageFileStatus::WriteFailed, LastErrno()};
  if (!temporary.WriteAll(image.data(), image.size())) {
    return ImageFileFailure{ImageFileStatus::WriteFailed, LastErrno()};
  }
  if (!temporary.FlushAndClose()) return ImageFileFailure{ImageFileStatus::WriteFailed, LastErrno()};
  const bool readOnly = options.mode >= 0 && (options.mode & 0222) == 0;
  if (readOnly && !temporary.AddAttributes(FILE_ATTRIBUTE_READONLY)) {
    return ImageFileFailure{ImageFileStatus::WriteFailed, LastErrno()};
  }
  if (!temporary.MoveTo(path, options.replaceExisting)) {
    const int moveError = LastErrno();
    if (moveError == EEXIST) return ImageFileFailure{ImageFileStatus::AlreadyExists, EEXIST};
    return ImageFileFailure{ImageFileStatus::WriteFailed, moveError};
  }
  return {};
}

}  // namespace qlr
