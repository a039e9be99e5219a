// Opening a file of the backup folder on POSIX systems.
#include "backup/regular_file_posix.h"

#include <fcntl.h>

#include <cerrno>

namespace qlr {

RegularFile OpenRegularFile(int folder, const char* name, int flags) {
  RegularFile file;
  // Looked at first, so that a device is never opened.
  if (::fstatat(folder, name, &file.status, AT_SYMLINK_NOFOLLOW) != 0) {
    file.error = errno;
    return file;
  }
  file.other = !S_ISREG(file.status.st_mode);
  if (file.other) return file;
  file.fd.Reset(::openat(folder, name, flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!file.fd) {
    file.error = errno;
    file.other = file.error == ELOOP;
    return file;
  }
  // It may have been replaced between the look and the open.
  if (::fstat(file.fd.Get(), &file.status) != 0) {
    file.error = errno;
    file.fd.Reset();
  } else if (!S_ISREG(file.status.st_mode)) {
    file.other = true;
    file.fd.Reset();
  }
  return file;
}

}  // namespace qlr
