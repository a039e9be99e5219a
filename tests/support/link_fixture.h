// A receiver emulator on a pty, reached by the link as port 1 (or any port
// through QLR5500_PORTS), and helpers to look at what crossed the line.
#pragma once

#include <sys/resource.h>

#include <string>
#include <utility>
#include <vector>

#include "emulator/receiver_emulator.h"
#include "link/port_map.h"
#include "support/test_support.h"

namespace qlr::testing {

// Command texts and the speed each arrived at, in order.
inline std::vector<std::pair<std::string, unsigned>> Traffic(const emu::ReceiverEmulator& emulator) {
  std::vector<std::pair<std::string, unsigned>> traffic;
  for (const auto& command : emulator.Commands()) traffic.emplace_back(command.text, command.baud);
  return traffic;
}

inline std::vector<std::string> CommandTexts(const emu::ReceiverEmulator& emulator) {
  std::vector<std::string> texts;
  for (const auto& command : emulator.Commands()) texts.push_back(command.text);
  return texts;
}

// The traffic of a whole EEPROM read of addresses 0..count-1.
inline std::vector<std::pair<std::string, unsigned>> ReadTraffic(int count) {
  std::vector<std::pair<std::string, unsigned>> traffic = {
      {"G300", 9600}, {"G105", 9600}, {"GC01", 38400}, {"GCF0", 38400}};
  char command[16];
  for (int address = 0; address < count; ++address) {
    std::snprintf(command, sizeof command, "LD0%02X?", address);
    traffic.emplace_back(command, 38400);
  }
  traffic.emplace_back("H100", 38400);
  traffic.emplace_back("H101", 9600);
  return traffic;
}

inline double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace qlr::testing
