// The system calls the POSIX serial layer makes, gathered so that a test can
// make one of them fail (EINTR, EIO, ENOTTY) or report queue contents that a
// pseudo-terminal never shows.
#pragma once

#include <termios.h>

namespace qlr {

struct SystemCalls {
  int (*open)(const char* path, int flags);
  int (*close)(int fd);
  int (*ioctl)(int fd, unsigned long request, void* argument);
  int (*tcgetattr)(int fd, termios* settings);
  int (*tcsetattr)(int fd, int when, const termios* settings);
  int (*tcflush)(int fd, int queue);

  static const SystemCalls& Real();
};

}  // namespace qlr
