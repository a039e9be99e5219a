// A receiver emulator on a pty, reached by the link as port 1 (or any port
// through the port map), and helpers to look at what crossed the line.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "emulator/receiver_emulator.h"
#include "link/port_map.h"
#include "link/progress_sink.h"
#include "link/receiver_link.h"
#include "support/test_support.h"

namespace qlr::testing {

// The port map for the lifetime of the object: devices[0] is port 1, and an
// empty entry is a port without device.
class ScopedPorts {
 public:
  explicit ScopedPorts(const std::vector<std::string>& devices) : variable_(PortsVariable, List(devices)) {}
  // Another map until the object ends.
  void Map(const std::vector<std::string>& devices) { variable_.Set(List(devices)); }

 private:
  static std::string List(const std::vector<std::string>& devices) {
    std::string list;
    for (std::size_t i = 0; i < devices.size(); ++i) list += (i ? ":" : "") + devices[i];
    return list;
  }

  ScopedEnvironment variable_;
};

// An emulated receiver that the port map puts behind port 1.
struct EmulatedReceiver {
  // The receiver's EEPROM as an image file holds it.
  std::vector<unsigned char> Memory() const {
    const emu::Eeprom memory = receiver.Memory();
    return {memory.begin(), memory.end()};
  }

  emu::ReceiverEmulator receiver;
  ScopedPorts ports{{receiver.DevicePath()}};
};

// The same and a link to reach it, not yet open.
struct EmulatedLink : EmulatedReceiver {
  CReceiverLink link;
};

// The two as test fixtures.
class ReceiverFixture : public ::testing::Test, public EmulatedReceiver {};
class LinkFixture : public ::testing::Test, public EmulatedLink {};

// Records what a transfer reports, in order: "range 0-127", "0", "1", ...
class RecordingSink : public ProgressSink {
 public:
  void SetRange(int lowest, int highest) override {
    calls.push_back("range " + std::to_string(lowest) + "-" + std::to_string(highest));
  }
  void SetPosition(int position) override { calls.push_back(std::to_string(position)); }

  // What a transfer of the whole EEPROM reports when it ends after `done` addresses.
  static std::vector<std::string> Transfer(std::size_t done) {
    std::vector<std::string> calls = {"range 0-127"};
    for (std::size_t address = 0; address < done; ++address) calls.push_back(std::to_string(address));
    return calls;
  }

  std::vector<std::string> calls;
};

template <typename Call>
std::chrono::steady_clock::duration Timed(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::steady_clock::now() - start;
}

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

// How often the receiver heard `text`.
inline int CountSent(const emu::ReceiverEmulator& emulator, const std::string& text) {
  int count = 0;
  for (const auto& command : emulator.Commands()) count += command.text == text;
  return count;
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
