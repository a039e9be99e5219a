#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image/image_file.h"

namespace qlr {

std::string ImageFileResult::Describe(const std::filesystem::path& path) const {
  std::string name = path.string();
  const std::string reason = sysErrno ? std::string(" (") + std::strerror(sysErrno) + ")" : std::string();
  switch (status) {
    case ImageFileStatus::Ok: return name + " is fine";
    case ImageFileStatus::CannotOpen: return "cannot open " + name + reason;
    case ImageFileStatus::TooShort: return name + " holds fewer than 128 bytes";
    case ImageFileStatus::ReadOnlyTarget: return name + " is read-only";
    case ImageFileStatus::NotPermitted: return "cannot write " + name + reason;
    case ImageFileStatus::NotRegularFile: return "cannot write " + name + ": it is not a regular file";
    case ImageFileStatus::AlreadyExists: return name + " already exists";
    case ImageFileStatus::WriteFailed: return "cannot write " + name + reason;
  }
  return name;
}

ImageFileResult LoadImageFile(const std::filesystem::path& path, EepromImage& image) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return {ImageFileStatus::CannotOpen, errno};
  EepromImage loaded{};
  const std::size_t got = std::fread(loaded.data(), 1, loaded.size(), file.get());
  if (got < loaded.size()) {
    // A directory opens but does not read.
    if (std::ferror(file.get())) return {ImageFileStatus::CannotOpen, errno};
    return {ImageFileStatus::TooShort, 0};
  }
  image = loaded;
  return {};
}

}  // namespace qlr
