// Text with its control characters written out, so that a name holding a
// line end or a tab can neither break a record apart nor start a line of
// its own on a terminal: \n, \t, \r, and \xHH for the others.
#pragma once

#include <string>
#include <string_view>

namespace qlr {

// `text` escaped; with `backslashes`, a backslash is written \\ too, so that
// the escaping can be undone (a record); without, a Windows path stays
// readable (a message).
inline std::string EscapedText(std::string_view text, bool backslashes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' && backslashes) {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += {'\\', 'x', Digits[byte >> 4], Digits[byte & 0xF]};
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace qlr
