#include "cli/output/formatting.h"

#include <algorithm>
#include <cstdio>

#include "link/region_names.h"

namespace qlr::cli {
namespace {

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

std::string PadRight(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

}  // namespace

std::string FormatHexDump(const EepromImage& image) {
  constexpr std::size_t PerRow = 16;
  std::string text;
  for (std::size_t row = 0; row < image.size(); row += PerRow) {
    text += "0x" + Hex2(static_cast<unsigned>(row)) + " ";
    for (std::size_t i = row; i < row + PerRow; ++i) text += " " + Hex2(image[i]);
    text += "\n";
  }
  return text;
}

std::string FormatDifferences(const EepromImage& a, const EepromImage& b, std::string_view labelA,
                              std::string_view labelB, std::size_t shownRows) {
  const std::vector<int> differing = DifferingAddresses(a, b);
  if (differing.empty()) return {};
  const std::string address = "address";
  const std::size_t widthA = std::max<std::size_t>(labelA.size(), 2);
  std::string text = address + "  " + PadRight(std::string(labelA), widthA) + "  " + std::string(labelB) + "\n";
  const std::size_t shown = std::min(differing.size(), shownRows);
  for (std::size_t row = 0; row < shown; ++row) {
    const auto i = static_cast<std::size_t>(differing[row]);
    text += PadRight("0x" + Hex2(static_cast<unsigned>(i)), address.size()) + "  " + PadRight(Hex2(a[i]), widthA) +
            "  " + Hex2(b[i]) + "\n";
  }
  if (shown < differing.size()) text += "... and " + std::to_string(differing.size() - shown) + " more\n";
  return text;
}

std::string FormatPortTable(const std::vector<PortInfo>& ports) {
  std::size_t deviceWidth = 0;
  for (const PortInfo& port : ports) deviceWidth = std::max(deviceWidth, port.device.size());
  std::string text;
  for (const PortInfo& port : ports) {
    std::string about = port.description;
    if (port.console) about += (about.empty() ? "" : ", ") + std::string(ConsoleNote);
    text += PadRight(std::to_string(port.number), 2) + "  " + PadRight(port.device, deviceWidth) + "  " +
            (about.empty() ? "-" : about) + "\n";
  }
  return text;
}

std::string FormatFoundPort(int number, const std::string& device) {
  return std::to_string(number) + " " + device + "\n";
}

std::string FormatRegion(int code) { return std::to_string(code) + " " + std::string(RegionName(code)) + "\n"; }

}  // namespace qlr::cli
