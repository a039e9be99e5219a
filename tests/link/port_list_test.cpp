// Port maps from text alone: QLR5500_PORTS lists and Windows COM port names.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "link/port_map.h"

namespace qlr {
namespace {

using Ports = std::vector<std::pair<int, std::string>>;

Ports NumbersAndDevices(const std::vector<PortInfo>& ports) {
  Ports result;
  for (const PortInfo& port : ports) result.emplace_back(port.number, port.device);
  return result;
}

TEST(PortList, WindowsListsSplitAtSemicolonsAndKeepDriveLetters) {
  const struct {
    const char* list;
    Ports ports;
  } cases[] = {
      {R"(\\.\COM7;;Z:\dev\pts\3)", {{1, R"(\\.\COM7)"}, {3, R"(Z:\dev\pts\3)"}}},
      {R"(;\\?\unix\dev\pts\9;)", {{2, R"(\\?\unix\dev\pts\9)"}}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(NumbersAndDevices(PortsFromList(c.list, ';')), c.ports) << c.list;
}

TEST(PortList, ComPortsAreTheirOwnNumbersOneToSixteenInOrder) {
  const std::vector<std::string> names = {"COM12", "LPT1",  "com3", "COM1",  "COM17", "COM0",
                                          "COM",   "COM3x", "C:",   "COM16", "COM3"};
  EXPECT_EQ(NumbersAndDevices(PortsFromComNames(names)),
            (Ports{{1, R"(\\.\COM1)"}, {3, R"(\\.\COM3)"}, {12, R"(\\.\COM12)"}, {16, R"(\\.\COM16)"}}));
}

}  // namespace
}  // namespace qlr
