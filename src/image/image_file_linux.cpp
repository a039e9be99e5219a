// Linux's side of the POSIX image files: renameat2 with RENAME_NOREPLACE.
#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

#include "image/image_file_posix.h"

namespace qlr {

bool RenameNoReplace(int folder, const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // Older kernels and file systems without the flag.
  if (errno == EINVAL || errno == ENOSYS) errno = ENOTSUP;
  return false;
}

}  // namespace qlr
