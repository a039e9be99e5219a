// Decimal numbers written as text: port numbers, process and user ids, the
// fields of the history. The one reader of them.
#pragma once

#include <algorithm>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>

namespace qlr {

// Whether `text` is one or more decimal digits and nothing else.
constexpr bool IsDecimal(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number `text` writes in decimal, if it lies in lowest..highest.
// All of the text counts: digits (leading zeros are fine), with one '-'
// before them only where the range holds negative numbers; no '+', no
// spaces. A number beyond the range, however long, is refused before it
// can overflow.
template <typename Number>
constexpr std::optional<Number> ParseDecimal(std::string_view text, Number lowest, Number highest) {
  static_assert(std::is_integral_v<Number>);
  const bool negative = std::cmp_less(lowest, 0) && text.starts_with('-');
  if (negative) text.remove_prefix(1);
  if (!IsDecimal(text)) return std::nullopt;
  Number value = 0;
  for (const char c : text) {
    const auto digit = static_cast<Number>(c - '0');
    // Refused as soon as the next digit would leave the range.
    if (negative) {
      if (value < lowest / 10 || (value == lowest / 10 && -digit < lowest % 10)) return std::nullopt;
      value = static_cast<Number>(value * 10 - digit);
    } else {
      if (value > highest / 10 || (value == highest / 10 && digit > highest % 10)) return std::nullopt;
      value = static_cast<Number>(value * 10 + digit);
    }
  }
  if (value < lowest || value > highest) return std::nullopt;
  return value;
}

}  // namespace qlr
