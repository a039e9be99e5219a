// Linux's own port map: the serial ports of a sysfs tty class directory.
#include <gtest/gtest.h>

#include <fstream>

#include "link/port_map_linux.h"
#include "support/test_support.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;

TEST(PortMap, SysfsOrderIsUsbAdaptersThenModemsThenRealUarts) {
  qlr::testing::TempDirectory sys;
  const auto addTty = [&](const std::string& name, const char* uartType) {
    fs::create_directories(sys / name);
    fs::create_directories(sys / ("devices/" + name));
    fs::create_directory_symlink(sys / ("devices/" + name), sys / name / "device");
    if (uartType) std::ofstream(sys / name / "type") << uartType << "\n";
  };
  addTty("ttyS1", "0");  // a placeholder: no chip behind it
  addTty("ttyS0", "4");
  addTty("ttyACM0", nullptr);
  addTty("ttyUSB10", nullptr);
  addTty("ttyUSB2", nullptr);
  fs::create_directories(sys / "tty0");  // a console: no device behind it

  const auto ports = PortsFromSysfs(sys.Path(), "/dev");
  std::vector<std::string> devices;
  for (const auto& port : ports) devices.push_back(port.device);
  EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"}));
  EXPECT_EQ(ports.back().number, 4);
}

}  // namespace
}  // namespace qlr
