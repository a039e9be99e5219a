// LastLine and LineReady: how the reader thread hands a complete line to
// the caller.
//
// LineReady is one auto-reset signal: the reader sets it after each line,
// and several lines that complete between two waits leave one signal and
// only the latest line. A wait that takes the signal takes the line that is
// current at that moment, under the same lock, so a line that completes
// while the caller looks at the previous one can neither tear it nor leave
// behind a signal for a line that was already examined.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

#include "link/line_assembler.h"

namespace qlr {

class LineHandover {
 public:
  // The signal alone: the reader's "I am running".
  void Signal() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    ready_.notify_one();
  }

  // The reader's delivery of a complete line.
  void Deliver(const char* line) {
    {
      std::lock_guard lock(mutex_);
      const std::size_t length = ::strnlen(line, sizeof lastLine_ - 1);
      std::memcpy(lastLine_, line, length);
      lastLine_[length] = '\0';
      signalled_ = true;
    }
    ready_.notify_one();
  }

  // Waits up to `limit` for the signal; takes it and copies the latest line.
  bool Take(std::chrono::milliseconds limit, std::string& line) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, limit, [this] { return signalled_; })) return false;
    signalled_ = false;
    line = lastLine_;
    return true;
  }

  // Clears the signal; the line stays.
  void Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }

  // Clears the signal and empties the line.
  void Clear() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
    lastLine_[0] = '\0';
  }

  std::string LastLine() const {
    std::lock_guard lock(mutex_);
    return lastLine_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  bool signalled_ = false;
  char lastLine_[LineAssembler::Capacity] = {};
};

}  // namespace qlr
