#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "link/thread_priority.h"

namespace qlr {

void RaiseCallingThreadPriority() {
  // On Linux a nice value belongs to a thread; two steps above its current one.
  const id_t thread = static_cast<id_t>(::gettid());
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, thread);
  if (current == -1 && errno != 0) return;
  ::setpriority(PRIO_PROCESS, thread, current - 2);
}

}  // namespace qlr
