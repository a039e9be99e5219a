#include <windows.h>

#include <cstdlib>

#include "link/device_name.h"
#include "link/port_map.h"
#include "os/unique_handle.h"
#include "os/wide_string.h"

namespace qlr {
namespace {

constexpr DWORD FirstListSize = 1 << 16;
constexpr DWORD LastListSize = 1 << 22;

// Every DOS device name of the machine ("COM3", "LPT1", "C:", ...).
std::vector<std::string> DosDeviceNames() {
  std::vector<std::string> names;
  for (DWORD size = FirstListSize; size <= LastListSize; size *= 2) {
    std::wstring buffer(size, L'\0');
    const DWORD used = ::QueryDosDeviceW(nullptr, buffer.data(), size);
    if (used == 0 && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) continue;
    // A list of names, each ended by a NUL, the list by a second one.
    for (std::size_t start = 0; start < used && buffer[start] != L'\0';) {
      const std::size_t end = buffer.find(L'\0', start);
      names.push_back(Narrow(std::wstring_view(buffer).substr(start, end - start)));
      start = end + 1;
    }
    break;
  }
  return names;
}

// The map QLR5500_PORTS gives, its entries named as --port names them ("COM12" is \\.\COM12).
std::vector<PortInfo> PortsFromVariable(const std::string& list) {
  std::vector<PortInfo> ports = PortsFromList(list);
  for (PortInfo& port : ports) port.device = DeviceOfName(port.device);
  return ports;
}

}  // namespace

const char PortsSeparator = ';';

bool DeviceExists(const std::string& device) {
  static constexpr std::string_view DeviceNamespace = "\\\\.\\";
  const std::wstring path = Widen(device);
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  if (device.starts_with(DeviceNamespace)) {
    wchar_t target[MAX_PATH];
    return ::QueryDosDeviceW(path.c_str() + DeviceNamespace.size(), target, MAX_PATH) != 0;
  }
  // A Unix device seen through Wine's Z: drive has no attributes; opening it
  // without any access touches nothing.
  const UniqueHandle probe(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(probe);
}

std::vector<PortInfo> SystemPorts() { return PortsFromComNames(DosDeviceNames()); }

PortMap PortMap::Read(const std::optional<std::string>& portsVariable) {
  if (portsVariable) return {PortsFromVariable(*portsVariable), true};
  return {SystemPorts(), false};
}

PortMap PortMap::OfProcess() {
  const wchar_t* value = ::_wgetenv(Widen(PortsVariable).c_str());
  return Read(value ? std::optional<std::string>(Narrow(value)) : std::nullopt);
}

// Without QLR5500_PORTS port n is COMn, whether or not the machine has it now.
std::string PortMap::UnlistedDevice(int number) { return DeviceOfName("COM" + std::to_string(number)); }

}  // namespace qlr
