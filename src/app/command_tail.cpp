#include "app/command_tail.h"

namespace qlr {
namespace {

std::string WithoutLeadingBlanks(std::string_view tail) {
  std::size_t start = 0;
  while (start < tail.size() && static_cast<unsigned char>(tail[start]) <= ' ') ++start;
  return std::string(tail.substr(start));
}

}  // namespace

std::string CommandTail(int argc, const char* const* argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) tail += ' ';
    tail += argv[i];
  }
  return WithoutLeadingBlanks(tail);
}

std::string CommandTailOfLine(std::string_view commandLine) {
  std::size_t end = 0;
  if (!commandLine.empty() && commandLine.front() == '"') {
    // A quoted name ends at the next quote; no escapes apply inside it.
    end = commandLine.find('"', 1);
    end = end == std::string_view::npos ? commandLine.size() : end + 1;
  } else {
    while (end < commandLine.size() && commandLine[end] != ' ' && commandLine[end] != '\t') ++end;
  }
  return WithoutLeadingBlanks(commandLine.substr(end));
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
