// A point in time that a bounded wait must not pass.
#pragma once

#include <algorithm>
#include <chrono>

namespace qlr {

class SteadyDeadline {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SteadyDeadline(std::chrono::milliseconds limit) : end_(Clock::now() + limit) {}

  bool Expired() const { return Clock::now() >= end_; }

  // Whole milliseconds left, rounded up so that a wait never ends early; 0 once expired.
  int RemainingMilliseconds() const {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
  }

 private:
  Clock::time_point end_;
};

}  // namespace qlr
