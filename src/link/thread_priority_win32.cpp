#include <windows.h>

#include "link/thread_priority.h"

namespace qlr {

void RaiseCallingThreadPriority() { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }

}  // namespace qlr
