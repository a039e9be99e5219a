// The decimal reader: whole text only, a sign only where the range allows
// one, and no overflow however long the number.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "os/decimal.h"

namespace qlr {
namespace {

template <typename Number>
struct DecimalCase {
  const char* text;
  Number lowest;
  Number highest;
  std::optional<Number> expected;
};

TEST(ParseDecimal, ReadsWholeTextWithinTheRange) {
  constexpr int Max = std::numeric_limits<int>::max();
  constexpr int Min = std::numeric_limits<int>::min();
  const DecimalCase<int> cases[] = {
      {"007", 1, 16, 7},
      {"17", 1, 16, std::nullopt},
      {"", 1, 16, std::nullopt},
      {"1a", 1, 16, std::nullopt},
      {" 1", 1, 16, std::nullopt},
      {"+1", 1, 16, std::nullopt},
      {"-1", 0, 16, std::nullopt},
      {"-1", -1, 127, -1},
      {"-", -1, 127, std::nullopt},
      {"-2", -1, 127, std::nullopt},
      {"2147483647", 0, Max, Max},
      {"2147483648", 0, Max, std::nullopt},
      {"-2147483648", Min, Max, Min},
      {"-99999999999999999999", Min, Max, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text, c.lowest, c.highest), c.expected) << c.text;

  constexpr std::uint32_t UMax = std::numeric_limits<std::uint32_t>::max();
  const DecimalCase<std::uint32_t> unsignedCases[] = {
      {"4294967295", 0, UMax, UMax}, {"4294967296", 0, UMax, std::nullopt}, {"4294967299", 0, 5, std::nullopt}};
  for (const auto& c : unsignedCases) EXPECT_EQ(ParseDecimal(c.text, c.lowest, c.highest), c.expected) << c.text;
}

}  // namespace
}  // namespace qlr
