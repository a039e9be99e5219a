#include "link/line_assembler.h"

#include <cstring>

namespace qlr {

bool LineAssembler::Feed(std::uint8_t byte) {
  const char c = static_cast<char>(byte);
  if (index_ == 0 && (c == '\r' || c == '\n')) return false;
  buffer_[index_] = c;
  if (++index_ >= Capacity) index_ = 0;
  if (c != '\n') return false;
  // Index 0 here means the LF was the 256th stored character: an empty line.
  std::memcpy(line_, buffer_, index_);
  line_[index_] = '\0';
  length_ = index_;
  index_ = 0;
  return true;
}

}  // namespace qlr
