#include <algorithm>

#include "cli/output/shell_words.h"

namespace qlr::cli {

// A Windows file name holds no '"', so double quotes always suffice.
std::string ShellQuoted(std::string_view word) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("\\/._-+:,=@").find(c) != std::string_view::npos;
  };
  if (!word.empty() && std::all_of(word.begin(), word.end(), plain)) return std::string(word);
  return "\"" + std::string(word) + "\"";
}

}  // namespace qlr::cli
