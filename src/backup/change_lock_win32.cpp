// The change lock on Windows: LockFileEx on one byte far past the end of
// the file, which no read of the backup touches. Windows lets go of it when
// the handle closes or the process ends.
#include <windows.h>

#include "backup/change_lock.h"
#include "os/unique_handle.h"

namespace qlr {
namespace {

// Far past any image file: locks beyond the end are allowed.
constexpr DWORD LockOffsetHigh = 0x40000000;

}  // namespace

struct ChangeLock::Impl {
  UniqueHandle file;
};

ChangeLock::ChangeLock() : impl_(std::make_unique<Impl>()) {}
ChangeLock::~ChangeLock() = default;
ChangeLock::ChangeLock(ChangeLock&&) noexcept = default;
ChangeLock& ChangeLock::operator=(ChangeLock&&) noexcept = default;

LockAttempt ChangeLock::Take(const std::filesystem::path& file) {
  Release();
  if (!impl_) impl_ = std::make_unique<Impl>();
  UniqueHandle handle(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle) return LockAttempt::Refused;
  OVERLAPPED at{};
  at.OffsetHigh = LockOffsetHigh;
  if (!::LockFileEx(handle.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    return ::GetLastError() == ERROR_LOCK_VIOLATION ? LockAttempt::HeldElsewhere : LockAttempt::Refused;
  }
  impl_->file = std::move(handle);
  return LockAttempt::Taken;
}

void ChangeLock::Release() {
  if (impl_) impl_->file.Reset();
}

}  // namespace qlr
