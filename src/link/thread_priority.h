// Scheduling help for the link's reader thread.
#pragma once

namespace qlr {

// Asks for a slightly higher priority for the calling thread, so that bytes
// are taken from the driver as they arrive while the rest of the program is
// busy. Best effort: without the privilege the thread keeps its priority.
void RaiseCallingThreadPriority();

}  // namespace qlr
