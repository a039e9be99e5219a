// The change lock on POSIX systems: flock, which belongs to the open file
// and ends with the last descriptor of it.
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "backup/change_lock.h"
#include "backup/regular_file_posix.h"
#include "os/unique_fd.h"

namespace qlr {

struct ChangeLock::Impl {
  UniqueFd fd;
};

ChangeLock::ChangeLock() : impl_(std::make_unique<Impl>()) {}
ChangeLock::~ChangeLock() = default;
ChangeLock::ChangeLock(ChangeLock&&) noexcept = default;
ChangeLock& ChangeLock::operator=(ChangeLock&&) noexcept = default;

LockAttempt ChangeLock::Take(const std::filesystem::path& file) {
  Release();
  if (!impl_) impl_ = std::make_unique<Impl>();
  // A FIFO in the backup's place must not block the probe of a reader.
  UniqueFd fd = std::move(OpenRegularFile(AT_FDCWD, file.c_str(), O_RDONLY).fd);
  if (!fd) return LockAttempt::Refused;
  int locked = -1;
  do {
    locked = ::flock(fd.Get(), LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) return errno == EWOULDBLOCK ? LockAttempt::HeldElsewhere : LockAttempt::Refused;
  impl_->fd = std::move(fd);
  return LockAttempt::Taken;
}

void ChangeLock::Release() {
  if (impl_) impl_->fd.Reset();
}

}  // namespace qlr
