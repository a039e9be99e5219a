#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>

#include "link/port_map.h"
#include "os/decimal.h"

namespace qlr {

bool SameDevice(const std::string& a, const std::string& b) {
  std::error_code error;
  return a == b || std::filesystem::equivalent(a, b, error);
}

std::string PortMap::DeviceFor(int number) const {
  for (const PortInfo& port : ports_) {
    if (port.number == number) return port.device;
  }
  return named_ ? std::string() : UnlistedDevice(number);
}

int PortMap::NumberOf(const std::string& device) const {
  for (const PortInfo& port : ports_) {
    if (SameDevice(port.device, device)) return port.number;
  }
  return 0;
}

bool PortMap::IsConsole(int number) const {
  return std::any_of(ports_.begin(), ports_.end(),
                     [number](const PortInfo& p) { return p.number == number && p.console; });
}

std::string DeviceForPort(int number) { return PortMap::OfProcess().DeviceFor(number); }

std::vector<PortInfo> ListPorts() { return PortMap::OfProcess().Ports(); }

std::vector<PortInfo> PortsFromList(const std::string& list, char separator) {
  std::vector<PortInfo> ports;
  int number = 1;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = list.find(separator, start);
    const std::string device = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!device.empty()) ports.push_back({number, device, {}});
    if (end == std::string::npos) break;
    start = end + 1;
    ++number;
  }
  return ports;
}

int ComNumber(std::string_view name) {
  if (name.size() < 4) return 0;
  const std::string_view prefix = name.substr(0, 3);
  if (!std::equal(prefix.begin(), prefix.end(), "COM",
                  [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; })) {
    return 0;
  }
  return ParseDecimal(name.substr(3), 1, std::numeric_limits<int>::max()).value_or(0);
}

std::vector<PortInfo> PortsFromComNames(const std::vector<std::string>& names) {
  std::vector<int> numbers;
  for (const std::string& name : names) {
    const int number = ComNumber(name);
    if (number >= 1 && number <= 16) numbers.push_back(number);
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  std::vector<PortInfo> ports;
  for (const int number : numbers) ports.push_back({number, "\\\\.\\COM" + std::to_string(number), {}});
  return ports;
}

}  // namespace qlr
