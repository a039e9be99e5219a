// The receiver's EEPROM as one value: 128 bytes, byte i = address i.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qlr {

inline constexpr std::size_t EepromSize = 128;
using EepromImage = std::array<std::uint8_t, EepromSize>;

// Values that make a receiver usable again when its own are lost. The
// program gives no meaning to single addresses and never edits an image.
extern const EepromImage MediumValues;

// The number of addresses 0..127 at which the two images differ.
int CountDifferences(const EepromImage& a, const EepromImage& b);

// The addresses at which the two images differ, in ascending order.
std::vector<int> DifferingAddresses(const EepromImage& a, const EepromImage& b);

}  // namespace qlr
