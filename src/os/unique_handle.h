// The one owner of a Win32 handle.
#pragma once

#include <windows.h>

#include <utility>

namespace qlr {

// Owns a kernel handle and closes it once. Both of Win32's "no handle"
// values (null, as from CreateEvent, and INVALID_HANDLE_VALUE, as from
// CreateFile) count as empty. Move-only; Release hands the handle over.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) noexcept : handle_(Normal(handle)) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }

  HANDLE Release() noexcept { return std::exchange(handle_, nullptr); }

  void Reset(HANDLE handle = nullptr) noexcept {
    const HANDLE old = std::exchange(handle_, Normal(handle));
    if (old != nullptr) ::CloseHandle(old);
  }

 private:
  static HANDLE Normal(HANDLE handle) noexcept { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

  HANDLE handle_ = nullptr;
};

}  // namespace qlr
