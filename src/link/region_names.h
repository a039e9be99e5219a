// The receiver's region codes and their names, in code order: the position
// of a name is the code the receiver reports for it.
#pragma once

#include <array>
#include <string_view>

namespace qlr {

inline constexpr std::array<std::string_view, 16> RegionNames = {
    "JAPAN",   "USA",     "EUR/AUS",     "FRA",     "DEN",     "CAN",     "GENE1",     "GENE2",
    "FCC JPN", "FCC USA", "FCC EUR/AUS", "FCC FRA", "FCC DEN", "FCC CAN", "FCC GENE1", "FCC GENE2",
};

// The name of a region code, or "unknown" for a code without one.
inline std::string_view RegionName(int code) {
  if (code < 0 || code >= static_cast<int>(RegionNames.size())) return "unknown";
  return RegionNames[static_cast<std::size_t>(code)];
}

}  // namespace qlr
