// The one owner of a Win32 handle.
#pragma once

#include <windows.h>

#include "os/unique_resource.h"

namespace qlr {

// Both of Win32's "no handle" values (null, as from CreateEvent, and
// INVALID_HANDLE_VALUE, as from CreateFile) count as none.
struct HandleTraits {
  using Value = HANDLE;
  static constexpr HANDLE Empty() noexcept { return nullptr; }
  static HANDLE Normal(HANDLE handle) noexcept { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }
  static void Close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};

// Owns a kernel handle (or none) and closes it once (unique_resource.h).
using UniqueHandle = UniqueResource<HandleTraits>;

}  // namespace qlr
