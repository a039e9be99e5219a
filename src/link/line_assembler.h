// Turns the received byte stream into lines, one byte at a time.
//
// A line ends at LF and keeps its CR and LF. CR and LF before a line's first
// character are dropped, so blank lines are never delivered. The buffer holds
// 256 characters: after the 256th stored character storing starts again at
// the front, so an over-long line delivers only what was stored since then
// (and the empty string when its LF is the 256th stored character).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qlr {

class LineAssembler {
 public:
  static constexpr std::size_t Capacity = 256;

  // True when `byte` completed a line; Line() then holds it until the next Feed.
  bool Feed(std::uint8_t byte);
  const char* Line() const { return line_; }
  // The same with its length: a NUL byte received does not end it.
  std::string_view Text() const { return {line_, length_}; }

 private:
  char buffer_[Capacity] = {};
  char line_[Capacity] = {};
  std::size_t index_ = 0;
  std::size_t length_ = 0;
};

}  // namespace qlr
