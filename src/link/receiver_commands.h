// The receiver's commands, one row each: what goes on the wire, the answer
// it brings, the status that means done, and where the answer holds its
// value. The link's protocol code (receiver_protocol.cpp) and the wire-time
// model (wire_time.h) both read these rows; nothing else spells a command.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/line_pattern.h"

namespace qlr::command {

// Characters on the wire for `text`: a printf conversion such as "%02X" goes
// out as its width.
constexpr int WireLength(std::string_view text) {
  int length = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      ++length;
      continue;
    }
    int width = 0;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) width = width * 10 + (text[i] - '0');
    length += width;
  }
  return length;
}

// A command or answer line without its CR LF, as failure records name it:
// "G300\r\n" → "G300".
inline std::string Name(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return std::string(line);
}

// The status lines: the pattern every status answer matches, and the two that mean done.
inline constexpr char Status[] = "G00x";
inline constexpr char Done[] = "G000";
inline constexpr char ServiceStepDone[] = "G001";

struct Command {
  // As sent, with its CR LF; a printf format where an address (and a value) go in.
  const char* text;
  // The answer line's pattern (line_pattern.h); empty for a command the receiver does not answer.
  const char* answer = "";
  // The status line that means done, for a command answered by one; empty otherwise.
  const char* done = "";
  // Where the two hexadecimal digits of the answer's value begin; 0 for an answer without one.
  std::size_t valueAt = 0;

  constexpr int SentChars() const { return WireLength(text); }
  // The answer's characters with its CR LF; 0 for none.
  constexpr int AnswerChars() const { return *answer == '\0' ? 0 : WireLength(answer) + 2; }
  // Whether the value's place holds two digits of the pattern.
  constexpr bool ValueFitsAnswer() const {
    const std::string_view pattern(answer);
    return valueAt == 0 || (valueAt + 2 <= pattern.size() && pattern.substr(valueAt, 2) == "xx");
  }
  // The value an answer line matched against `answer` holds: 0..255, or -1
  // where the line has a literal 'x' that the pattern let pass.
  int ValueIn(const std::string& line) const { return HexPairAt(line.c_str(), valueAt); }
};

// The presence check.
inline constexpr Command Presence{"H101\r\n", Status, Done};
// The region code.
inline constexpr Command Region{"GE?\r\n", "GExx", "", 2};
// The entry into service mode: after EnterService, which has no answer, the
// receiver changes to 38400 baud.
inline constexpr Command PrepareService{"G300\r\n", Status, Done};
inline constexpr Command EnterService{"G105\r\n"};
inline constexpr Command ServiceStepOne{"GC01\r\n", Status, ServiceStepDone};
inline constexpr Command ServiceStepTwo{"GCF0\r\n", Status, ServiceStepDone};
// Back to normal operation at 9600 baud; no answer.
inline constexpr Command LeaveService{"H100\r\n"};
// In service mode: the value of an address, and a value written into one.
inline constexpr Command ReadAddress{"LD0%02X?\r\n", "LD0xxxx", "", 5};
inline constexpr Command WriteAddress{"LD0%02X%02X\r\n", Status, Done};

static_assert(Presence.SentChars() == 6 && Presence.AnswerChars() == 6);
static_assert(Region.SentChars() == 5 && Region.AnswerChars() == 6 && Region.ValueFitsAnswer());
static_assert(EnterService.SentChars() == 6 && EnterService.AnswerChars() == 0);
static_assert(ReadAddress.SentChars() == 8 && ReadAddress.AnswerChars() == 9 && ReadAddress.ValueFitsAnswer());
static_assert(WriteAddress.SentChars() == 9 && WriteAddress.AnswerChars() == 6);

}  // namespace qlr::command
