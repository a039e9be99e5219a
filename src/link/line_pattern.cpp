#include "link/line_pattern.h"

namespace qlr {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool LineMatchesPattern(const char* line, const char* pattern) {
  for (std::size_t i = 0; pattern[i] != '\0'; ++i) {
    const char c = line[i];
    if (c == '\0') return false;
    const bool hexWanted = pattern[i] == 'x' && HexDigitValue(c) >= 0;
    if (!hexWanted && c != pattern[i]) return false;
  }
  return true;
}

int HexPairAt(const char* line, std::size_t position) {
  for (std::size_t i = 0; i < position; ++i) {
    if (line[i] == '\0') return -1;
  }
  const int high = HexDigitValue(line[position]);
  if (high < 0) return -1;
  const int low = HexDigitValue(line[position + 1]);
  if (low < 0) return -1;
  return high * 16 + low;
}

}  // namespace qlr
