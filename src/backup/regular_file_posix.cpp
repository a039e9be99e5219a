// Opening a file of the backup folder on POSIX systems.
#include "backup/regular_file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
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

bool ReadUpTo(int fd, std::string& text, std::size_t most) {
  char buffer[65536];
  for (std::size_t got = 0; got < most;) {
    const ssize_t read = ::read(fd, buffer, std::min(sizeof buffer, most - got));
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) return false;
    if (read == 0) break;
    text.append(buffer, static_cast<std::size_t>(read));
    got += static_cast<std::size_t>(read);
  }
  return true;
}

}  // namespace qlr
