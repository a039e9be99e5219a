// Linux's own port map: the serial ports of a sysfs tty class directory.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

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

  const auto ports = PortsFromSysfs(sys.Path(), "/dev", {"tty0", "ttyS0"});
  std::vector<std::string> devices;
  for (const auto& port : ports) devices.push_back(port.device);
  EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyS0"}));
  // The console keeps its place and its number, marked so that scans pass it by.
  EXPECT_EQ(ports.back().number, 4);
  EXPECT_TRUE(ports.back().console);
  EXPECT_FALSE(ports.front().console);
}

TEST(PortMap, KernelConsolesFromSysfsAndProc) {
  qlr::testing::TempDirectory root;
  EXPECT_TRUE(KernelConsoles(root.Path()).empty());
  fs::create_directories(root / "sys/class/tty/console");
  fs::create_directories(root / "proc");
  std::ofstream(root / "sys/class/tty/console/active") << "tty0 ttyS1\n";
  std::ofstream(root / "proc/consoles") << "ttyS0                -W- (EC p a)    4:64\n"
                                        << "netcon0              -W- (E    )\n";
  EXPECT_EQ(KernelConsoles(root.Path()), (std::set<std::string>{"netcon0", "tty0", "ttyS0", "ttyS1"}));
}

}  // namespace
}  // namespace qlr
