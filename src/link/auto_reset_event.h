// A signal that one waiter consumes: Set() leaves it signalled until a Wait()
// takes it, and several Set() calls before a Wait() leave one signal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qlr {

class AutoResetEvent {
 public:
  void Set() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    changed_.notify_one();
  }

  void Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }

  // True if the signal came within `limit`; the signal is then consumed.
  bool Wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, limit, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace qlr
