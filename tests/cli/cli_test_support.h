// What the CLI's end-to-end tests share: an emulated receiver on a pty that
// the port map names, a scratch directory, and image conversions.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "emulator/receiver_emulator.h"
#include "image/eeprom_image.h"
#include "support/test_support.h"

namespace qlr::testing {

inline std::vector<unsigned char> Bytes(const emu::Eeprom& image) { return {image.begin(), image.end()}; }

// A recognisable image unlike the emulator's default contents.
inline std::vector<unsigned char> Pattern(std::size_t size, unsigned step = 3) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * step + 1);
  return bytes;
}

inline std::vector<std::string> Texts(const std::vector<emu::RecordedCommand>& commands) {
  std::vector<std::string> texts;
  for (const auto& command : commands) texts.push_back(command.text);
  return texts;
}

class ReceiverFixture : public ::testing::Test {
 protected:
  ReceiverFixture() : ports_(std::make_unique<ScopedEnvironment>("QLR5500_PORTS", receiver_.DevicePath())) {}

  void SetPorts(const std::vector<std::string>& devices) {
    ports_.reset();
    ports_ = std::make_unique<ScopedEnvironment>("QLR5500_PORTS", PortList(devices));
  }
  std::string Device() const { return receiver_.DevicePath(); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  std::string File(const std::string& name, const std::vector<unsigned char>& bytes) const {
    WriteBytes(dir_ / name, bytes);
    return File(name);
  }

  emu::ReceiverEmulator receiver_;
  TempDirectory dir_;

 private:
  std::unique_ptr<ScopedEnvironment> ports_;
};

}  // namespace qlr::testing
