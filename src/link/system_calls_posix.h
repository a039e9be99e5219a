// The calls of the POSIX serial layer whose failures or answers a
// pseudo-terminal cannot produce (a refused open, refused modem lines, an
// output queue that never drains), gathered so that a test can replace one.
// POSIX only; the Windows serial layer has no such seam.
//
// The reader's and writer's read, write and poll are not here on purpose: a
// pty produces every case they handle (a hang-up, a full buffer, a wake-up),
// so they are tested on real ones.
#pragma once

#include <termios.h>

namespace qlr {

struct SystemCalls {
  int (*open)(const char* path, int flags);
  int (*ioctl)(int fd, unsigned long request, void* argument);
  int (*tcgetattr)(int fd, termios* settings);
  int (*tcsetattr)(int fd, int when, const termios* settings);
  int (*tcflush)(int fd, int queue);

  static const SystemCalls& Real();
};

}  // namespace qlr
