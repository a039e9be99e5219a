// The one owner of an operating-system resource named by a plain value: a
// POSIX descriptor (unique_fd.h), a Win32 handle (unique_handle.h).
#pragma once

#include <utility>

namespace qlr {

// Owns one resource (or none) and closes it once, in the destructor or in
// Reset. Move-only; Release hands the resource over without closing it.
//
// Traits says what the resource is:
//   Value             the type that names it (int, HANDLE)
//   Empty()           the value that names none
//   Normal(value)     `value`, with any other value that names none made Empty()
//   Close(value)      releases a resource that is not Empty(); never throws
template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) noexcept : value_(Traits::Normal(value)) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Value Get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::Empty(); }

  Value Release() noexcept { return std::exchange(value_, Traits::Empty()); }

  // Closes the resource held so far (if any) and takes `value`.
  void Reset(Value value = Traits::Empty()) noexcept {
    const Value old = std::exchange(value_, Traits::Normal(value));
    if (old != Traits::Empty()) Traits::Close(old);
  }

 private:
  Value value_ = Traits::Empty();
};

}  // namespace qlr
