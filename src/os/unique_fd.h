// The one owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>

#include "os/unique_resource.h"

namespace qlr {

struct DescriptorTraits {
  using Value = int;
  static constexpr int Empty() noexcept { return -1; }
  static constexpr int Normal(int fd) noexcept { return fd < 0 ? -1 : fd; }
  // Never retried: after EINTR the descriptor is gone on Linux, and a retry
  // could close one that another thread was just given.
  static void Close(int fd) noexcept { ::close(fd); }
};

// Owns a file descriptor (or none, -1) and closes it once (unique_resource.h).
using UniqueFd = UniqueResource<DescriptorTraits>;

}  // namespace qlr
