// Paths from the UTF-8 text that names them.
#pragma once

#include <filesystem>
#include <string_view>

namespace qlr {

// The path that UTF-8 text names. The constructor from a std::string reads
// the text in the C library's narrow encoding, which on Windows makes each
// byte a character of its own ("März" becomes "MÃ¤rz"). On Windows the text
// must be valid UTF-8, as Narrow gives it.
inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace qlr
