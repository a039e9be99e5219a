// Paths from the UTF-8 text that names them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qlr {

// The path that UTF-8 text names. The constructor from a std::string reads
// the text in the C library's narrow encoding, which on Windows makes each
// byte a character of its own ("März" becomes "MÃ¤rz"). On Windows the text
// must be valid UTF-8, as Narrow gives it.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

// The UTF-8 text of a path, for messages and records: path.string() is not
// UTF-8 on Windows with every standard library (with some it is the ANSI
// code page, which holds few of the characters a name may have).
inline std::string Utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace qlr
