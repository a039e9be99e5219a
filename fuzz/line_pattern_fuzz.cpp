// Any line against the receiver's answer patterns (receiver_commands.h), and HexPairAt at every
// position: the parsers never read past a line's NUL (each line lives in a
// heap block of exactly its size, so AddressSanitizer sees any overread) and
// agree with a plain model of the rules.
//
// Input: a line; or "pattern NUL line" to try a pattern of the input's own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "link/line_pattern.h"
#include "link/receiver_commands.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int DigitValue(char c) {
  static constexpr char Digits[] = "0123456789abcdef";
  if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  const char* found = c == '\0' ? nullptr : std::strchr(Digits, c);
  return found ? static_cast<int>(found - Digits) : -1;
}

bool ModelMatches(const std::string& line, const std::string& pattern) {
  if (line.size() < pattern.size()) return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (line[i] == pattern[i]) continue;
    if (pattern[i] == 'x' && DigitValue(line[i]) >= 0) continue;
    return false;
  }
  return true;
}

// A NUL-terminated copy in a block of exactly its size.
std::unique_ptr<char[]> Exact(const std::string& text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

bool Matches(const std::string& line, const std::string& pattern) {
  const auto exactLine = Exact(line);
  const auto exactPattern = Exact(pattern);
  const bool matched = qlr::LineMatchesPattern(exactLine.get(), exactPattern.get());
  Check(matched == ModelMatches(line, pattern));
  return matched;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t separator = input.find('\0');
  // As the link sees it: a C string.
  const std::string line = separator == std::string::npos ? input : input.substr(separator + 1).c_str();
  if (separator != std::string::npos) Matches(line, input.substr(0, separator));

  const auto exactLine = Exact(line);
  for (std::size_t position = 0; position <= line.size() + 2; ++position) {
    const int value = qlr::HexPairAt(exactLine.get(), position);
    const bool digits =
        position + 1 < line.size() && DigitValue(line[position]) >= 0 && DigitValue(line[position + 1]) >= 0;
    Check(value == (digits ? DigitValue(line[position]) * 16 + DigitValue(line[position + 1]) : -1));
  }

  // What the protocol reads out of a matched answer is a number 0..255, unless
  // the line holds a literal 'x' where a digit belongs (it matches an 'x' of
  // the pattern): then there is no number, and the row says so with -1.
  const auto literalX = [&line](std::size_t position) { return line[position] == 'x' || line[position + 1] == 'x'; };
  // The answers' three patterns: a status line, the region, an address's value.
  for (const qlr::command::Command* row :
       {&qlr::command::Presence, &qlr::command::Region, &qlr::command::ReadAddress}) {
    if (!Matches(line, row->answer)) continue;
    Check(line.size() >= std::strlen(row->answer));
    if (row->valueAt != 0) Check(row->ValueIn(line) >= 0 || literalX(row->valueAt));
  }
  Check(Matches(line, ""));
  return 0;
}
