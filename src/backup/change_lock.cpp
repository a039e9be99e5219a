#include "backup/change_lock.h"

namespace qlr {

bool ChangeLock::HeldElsewhere(const std::filesystem::path& file) {
  ChangeLock probe;
  return probe.Take(file) == LockAttempt::HeldElsewhere;
}

}  // namespace qlr
