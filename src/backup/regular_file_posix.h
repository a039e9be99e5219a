// Opening a file of the backup folder on POSIX systems: never waiting on a
// FIFO, never following a symbolic link, never touching a device, and using
// only a regular file, whatever someone put there.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "os/unique_fd.h"

namespace qlr {

struct RegularFile {
  UniqueFd fd;            // none when the file is missing, cannot be opened, or is no regular file
  int error = 0;          // errno of the failed open: ENOENT for nothing there
  bool other = false;     // something other than a regular file is there (a link, FIFO, folder, device)
  struct stat status {};  // of the file opened
};

// Opens `name`, relative to the folder open as `folder` (AT_FDCWD: a path),
// with `flags` (O_RDONLY, O_RDWR | O_APPEND, ...).
RegularFile OpenRegularFile(int folder, const char* name, int flags);

// Appends to `text` what the file opened as `fd` holds from where it
// stands, at most `most` bytes; false when a read failed (what came before
// it is kept).
bool ReadUpTo(int fd, std::string& text, std::size_t most);

}  // namespace qlr
