// What the CLI's tests share: an emulated receiver behind port 1, a scratch
// directory that holds the backups too, and image conversions.
#pragma once

#include <string>
#include <vector>

#include "image/eeprom_image.h"
#include "support/link_fixture.h"

namespace qlr::testing {

inline std::vector<unsigned char> Bytes(const emu::Eeprom& image) { return {image.begin(), image.end()}; }

// A recognisable image unlike the emulator's default contents.
inline std::vector<unsigned char> Pattern(std::size_t size, unsigned step = 3) {
  std::vector<unsigned char> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * step + 1);
  return bytes;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliFixture : public ReceiverFixture {
 protected:
  std::string Device() const { return receiver.DevicePath(); }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  std::string File(const std::string& name, const std::vector<unsigned char>& bytes) const {
    WriteBytes(dir_ / name, bytes);
    return File(name);
  }

  TempDirectory dir_;
  // Backups and their history go here, for the programs the test runs too.
  ScopedEnvironment dataHome_{"XDG_DATA_HOME", (dir_ / "data").string()};
};

}  // namespace qlr::testing
