// A word as a POSIX shell reads it, for the commands that messages suggest:
// a path with a space or a quote in it still pastes as one word.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace qlr {

// `word` as it is when nothing in it is special to the shell, otherwise in
// single quotes (a quote inside becomes '\'').
inline std::string PosixShellWord(std::string_view word) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+:,=@%").find(c) != std::string_view::npos;
  };
  if (!word.empty() && std::all_of(word.begin(), word.end(), plain)) return std::string(word);
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace qlr
