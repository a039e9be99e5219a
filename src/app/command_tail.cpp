#include "app/command_tail.h"

namespace qlr {

std::string CommandTail(int argc, const char* const* argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  std::size_t start = 0;
  while (start < tail.size() && static_cast<unsigned char>(tail[start]) <= ' ') ++start;
  return tail.substr(start);
}

bool IsSnapshotCommand(const std::string& tail) {
  static constexpr char Expected[] = "/SAVE";
  if (tail.size() != sizeof Expected - 1) return false;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != Expected[i]) return false;
  }
  return true;
}

}  // namespace qlr
