// Any byte stream into the reader's line assembly and on through the
// hand-over to the caller, as the reader thread does it. Every delivered line
// is checked against a plain model of the rules and against the invariants
// the link's 256-character LastLine buffer relies on; the caller takes each
// line once, whole.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/line_assembler.h"
#include "link/line_handover.h"

namespace {

constexpr std::size_t Capacity = qlr::LineAssembler::Capacity;

// The rules in their simplest form: line ends before a line are dropped,
// storing restarts after the 256th character, LF delivers what is stored.
class Model {
 public:
  bool Feed(char c, std::string& line) {
    if (stored_.empty() && (c == '\r' || c == '\n')) return false;
    stored_.push_back(c);
    if (stored_.size() == Capacity) stored_.clear();
    if (c != '\n') return false;
    line.swap(stored_);
    stored_.clear();
    return true;
  }

 private:
  std::string stored_;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qlr::LineAssembler assembler;
  qlr::LineHandover handover;
  Model model;
  std::string expected;
  std::size_t lines = 0;
  for (std::size_t i = 0; i < size; ++i) {
    const bool delivered = assembler.Feed(data[i]);
    Check(delivered == model.Feed(static_cast<char>(data[i]), expected));
    if (!delivered) continue;

    const char* line = assembler.Line();
    const std::size_t length = strnlen(line, Capacity);
    // Fits LastLine whole: at most 255 characters and its NUL.
    Check(length < Capacity);
    // The link hands lines on as C strings, so a NUL received inside a line
    // ends it there; everything else arrives unchanged.
    Check(std::string(line, length) == expected.substr(0, expected.find('\0')));
    if (length > 0) {
      Check(line[0] != '\r' && line[0] != '\n');
      if (length == expected.size()) Check(line[length - 1] == '\n');
      // An LF ends a line: none inside one.
      Check(std::memchr(line, '\n', length - 1) == nullptr);
    }

    // The caller takes every third line at once; the two before it are
    // overtaken, and it is the latest line that is there to take, once.
    handover.Deliver(line);
    if (++lines % 3 != 0) continue;
    std::string taken;
    Check(handover.Take(std::chrono::milliseconds(0), taken));
    Check(taken == std::string(line, length));
    // A timed-out wait costs a system call: look for a second take once per input.
    if (lines == 3) Check(!handover.Take(std::chrono::milliseconds(0), taken));
  }
  return 0;
}
