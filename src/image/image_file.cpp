#include <cerrno>
#include <cstring>

#include "image/image_file.h"
#include "os/utf8_path.h"

namespace qlr {

std::string ImageFileFailure::Describe(const std::filesystem::path& path) const {
  std::string name = Utf8OfPath(path);
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

}  // namespace qlr
