// The lock a process holds on a change's backup file for as long as it
// makes the change. The system lets go of it when the process ends, however
// it ends, so a change recorded as started whose lock is free was cut short,
// and one whose lock is held is still being made.
//
// POSIX: flock on the file. Windows: LockFileEx on a byte past the file's
// end, so that reading the backup is never blocked.
#pragma once

#include <filesystem>
#include <memory>

namespace qlr {

enum class LockAttempt {
  Taken,
  HeldElsewhere,  // another open of the file (in any process) holds it
  Refused,        // the file cannot be opened or locked: missing, unreadable, no regular file
};

class ChangeLock {
 public:
  ChangeLock();
  ~ChangeLock();  // lets go
  ChangeLock(ChangeLock&&) noexcept;
  ChangeLock& operator=(ChangeLock&&) noexcept;
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;

  // Takes the lock on `file` without waiting; lets go of one held before.
  LockAttempt Take(const std::filesystem::path& file);
  void Release();

  // Whether someone holds the lock on `file` at this moment.
  static bool HeldElsewhere(const std::filesystem::path& file);

 private:
  struct Impl;  // the platform's open file, defined beside the implementation
  std::unique_ptr<Impl> impl_;
};

}  // namespace qlr
