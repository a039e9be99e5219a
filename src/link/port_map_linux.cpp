// Linux's port map: the serial ports sysfs knows, in a fixed order.
#include "link/port_map_linux.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <tuple>

namespace qlr {
namespace fs = std::filesystem;
namespace {

// Sort key: group (USB adapter, USB modem, UART), then name prefix, then number.
std::tuple<int, std::string, long> OrderKey(const std::string& name) {
  std::size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  const std::string prefix = name.substr(0, digits);
  const long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
  const int group = prefix == "ttyUSB" ? 0 : prefix == "ttyACM" ? 1 : 2;
  return {group, prefix, number};
}

// A UART placeholder registered by the legacy serial driver has port type 0
// ("unknown") because no chip answered at its address.
bool IsPlaceholderUart(const fs::path& entry) {
  const fs::path typeFile = entry / "type";
  if (!fs::exists(typeFile)) return false;
  return ReadFirstLine(typeFile) == "0";
}

// "USB vvvv:pppp product" where the device sits on USB, else the driver name.
std::string Describe(const fs::path& entry) {
  std::error_code error;
  fs::path device = fs::canonical(entry / "device", error);
  if (error) return {};
  if (const fs::path usb = UsbDeviceOf(device); !usb.empty()) {
    const std::string product = ReadFirstLine(usb / "product");
    return "USB " + UsbIdOf(usb) + (product.empty() ? "" : " " + product);
  }
  // Newer kernels put generic "port" and "ctrl" drivers between a UART and its chip's driver.
  for (fs::path p = device; p.has_relative_path() && p != p.root_path(); p = p.parent_path()) {
    const fs::path driver = fs::canonical(p / "driver", error);
    if (!error && driver.filename() != "port" && driver.filename() != "ctrl") return driver.filename().string();
  }
  return {};
}

}  // namespace

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

fs::path UsbDeviceOf(const fs::path& device) {
  for (fs::path p = device; p.has_relative_path() && p != p.root_path(); p = p.parent_path()) {
    if (fs::exists(p / "idVendor") && fs::exists(p / "idProduct")) return p;
  }
  return {};
}

std::string UsbIdOf(const fs::path& usbDevice) {
  return ReadFirstLine(usbDevice / "idVendor") + ":" + ReadFirstLine(usbDevice / "idProduct");
}

std::set<std::string> KernelConsoles(const fs::path& root) {
  std::set<std::string> consoles;
  // "tty0 ttyS0": every console the kernel writes to, by tty name.
  std::ifstream active(root / "sys/class/tty/console/active");
  for (std::string name; active >> name;) consoles.insert(name);
  // "ttyS0                -W- (EC p a)    4:64": the name leads each line.
  std::ifstream registered(root / "proc/consoles");
  for (std::string line; std::getline(registered, line);) {
    if (const std::string name = line.substr(0, line.find(' ')); !name.empty()) consoles.insert(name);
  }
  return consoles;
}

std::vector<PortInfo> PortsFromSysfs(const fs::path& ttyClass, const fs::path& devDirectory,
                                     const std::set<std::string>& consoles) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(ttyClass, error)) {
    // Only ttys with a device link have hardware (or a USB function) behind them.
    if (!fs::exists(entry.path() / "device")) continue;
    if (IsPlaceholderUart(entry.path())) continue;
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return OrderKey(a) < OrderKey(b); });
  std::vector<PortInfo> ports;
  for (const std::string& name : names) {
    ports.push_back({static_cast<int>(ports.size()) + 1, (devDirectory / name).string(), Describe(ttyClass / name),
                     consoles.contains(name)});
  }
  return ports;
}

std::vector<PortInfo> SystemPorts() { return PortsFromSysfs("/sys/class/tty", "/dev", KernelConsoles("/")); }

}  // namespace qlr
