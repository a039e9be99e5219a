// What qlr5500 prints on standard output, as text, so that scripts can rely
// on it and tests can check it without a receiver.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "image/eeprom_image.h"
#include "link/port_map.h"

namespace qlr::cli {

// How 'ports' and the doctor mark the kernel's console in the map.
inline constexpr const char* ConsoleNote = "the kernel's console: not scanned";

// 8 rows of "0x00  00 11 22 ... FF": the row's first address, then 16 bytes.
std::string FormatHexDump(const EepromImage& image);

// A header line ("address  <labelA>  <labelB>") and one line per address at
// which the images differ; the empty string when they are identical. Past
// `shownRows` rows the rest is counted ("... and 110 more").
std::string FormatDifferences(const EepromImage& a, const EepromImage& b, std::string_view labelA,
                              std::string_view labelB, std::size_t shownRows = EepromSize);

// One line per port: number, device, description, in aligned columns; a
// port without description shows "-".
std::string FormatPortTable(const std::vector<PortInfo>& ports);

// "3 /dev/ttyUSB0": the port number first, then the device.
std::string FormatFoundPort(int number, const std::string& device);

// "2 EUR/AUS": the code first, then its name.
std::string FormatRegion(int code);

}  // namespace qlr::cli
