// The doctor on Windows: the COM ports as Device Manager names them
// (SetupAPI, the Ports class), the present devices with their drivers and
// problem codes (SetupAPI and the configuration manager, for
// adapter_devices.h), a port another program holds, and an FTDI adapter's
// latency timer from the registry, matched by its PortName.
#include <windows.h>
// After windows.h, which they need.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <memory>
#include <type_traits>

#include "cli/doctor/adapter_devices.h"
#include "cli/doctor/doctor.h"
#include "cli/output/port_holders_win32.h"
#include "os/wide_string.h"

namespace qlr::cli {
namespace {

// The Ports (COM & LPT) device class of Device Manager.
constexpr GUID PortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// Where the FTDI driver keeps each adapter's settings: FTDIBUS\<device>\<instance>\Device Parameters.
constexpr const wchar_t* FtdiBus = L"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct DeviceListCloser {
  void operator()(HDEVINFO list) const { ::SetupDiDestroyDeviceInfoList(list); }
};
using UniqueDeviceList = std::unique_ptr<std::remove_pointer_t<HDEVINFO>, DeviceListCloser>;

UniqueKey OpenKey(HKEY parent, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
  return UniqueKey(key);
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  wchar_t name[256];  // the longest key name the registry allows, with its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(name));
    if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

std::wstring StringValue(HKEY key, const wchar_t* subkey, const wchar_t* name) {
  wchar_t value[256]{};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
  return value;
}

// "COM5" for \\.\COM5 (or COM5); empty for a device that is no COM port.
std::string ComName(std::string_view device) {
  if (device.starts_with("\\\\.\\")) device.remove_prefix(4);
  const int number = ComNumber(device);
  return number > 0 ? "COM" + std::to_string(number) : std::string();
}

// Calls `each(list, device)` for each present device of the class
// `deviceClass`, or of every class for nullptr; false when the system
// gives no list.
template <typename Each>
bool ForEachPresentDevice(const GUID* deviceClass, Each each) {
  const DWORD flags = DIGCF_PRESENT | (deviceClass ? 0 : DIGCF_ALLCLASSES);
  const UniqueDeviceList list(::SetupDiGetClassDevsW(deviceClass, nullptr, nullptr, flags));
  if (!list || list.get() == INVALID_HANDLE_VALUE) return false;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(list.get(), index, &device); ++index) each(list.get(), device);
  return true;
}

// A registry property of a device (SPDRP_*); a REG_MULTI_SZ's strings with
// a NUL between them.
std::wstring DeviceProperty(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD size = 0;
  ::SetupDiGetDeviceRegistryPropertyW(list, &device, property, nullptr, nullptr, 0, &size);
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (size == 0 || !::SetupDiGetDeviceRegistryPropertyW(list, &device, property, nullptr,
                                                        reinterpret_cast<BYTE*>(value.data()), size, nullptr)) {
    return {};
  }
  value.resize(value.find_last_not_of(L'\0') + 1);
  return value;
}

// One of the device's registry keys (DIREG_DEV: its settings, DIREG_DRV:
// its driver's); null when it has none.
UniqueKey DeviceKey(HDEVINFO list, SP_DEVINFO_DATA& device, DWORD keyKind) {
  const HKEY key = ::SetupDiOpenDevRegKey(list, &device, DICS_FLAG_GLOBAL, 0, keyKind, KEY_READ);
  return UniqueKey(key == INVALID_HANDLE_VALUE ? nullptr : key);
}

// Device Manager's name of the COM port `comName`, e.g. "USB Serial Port (COM5)".
std::string FriendlyName(const std::string& comName) {
  std::string name;
  if (comName.empty()) return name;
  ForEachPresentDevice(&PortsClass, [&](HDEVINFO list, SP_DEVINFO_DATA& device) {
    const UniqueKey settings = DeviceKey(list, device, DIREG_DEV);
    if (name.empty() && settings && ComName(Narrow(StringValue(settings.get(), nullptr, L"PortName"))) == comName) {
      name = Narrow(DeviceProperty(list, device, SPDRP_FRIENDLYNAME));
    }
  });
  return name;
}

// The device as Device Manager shows it: names, ids, group, driver, problem.
DeviceRecord RecordOf(HDEVINFO list, SP_DEVINFO_DATA& device) {
  DeviceRecord record;
  record.name = Narrow(DeviceProperty(list, device, SPDRP_FRIENDLYNAME));
  if (record.name.empty()) record.name = Narrow(DeviceProperty(list, device, SPDRP_DEVICEDESC));
  const std::wstring ids = DeviceProperty(list, device, SPDRP_HARDWAREID);
  for (std::size_t at = 0; at < ids.size();) {
    const std::size_t end = std::min(ids.find(L'\0', at), ids.size());
    record.hardwareIds.push_back(Narrow(std::wstring_view(ids).substr(at, end - at)));
    at = end + 1;
  }
  wchar_t category[LINE_LEN]{};
  if (::SetupDiGetClassDescriptionW(&device.ClassGuid, category, LINE_LEN, nullptr)) record.category = Narrow(category);
  record.portsClass = device.ClassGuid == PortsClass;
  if (const UniqueKey driver = DeviceKey(list, device, DIREG_DRV)) {
    record.driverProvider = Narrow(StringValue(driver.get(), nullptr, L"ProviderName"));
    record.driverVersion = Narrow(StringValue(driver.get(), nullptr, L"DriverVersion"));
  }
  ULONG status = 0;
  ULONG problem = 0;
  if (::CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS && (status & DN_HAS_PROBLEM)) {
    record.problem = problem;
  }
  return record;
}

// The FTDI adapter whose PortName is `comName`: its device instance and latency timer.
struct FtdiAdapter {
  std::string instance;  // "FTDIBUS\VID_0403+PID_6001+A10K1234A\0000"
  DWORD latencyMs = 0;
};

std::optional<FtdiAdapter> FtdiAdapterOf(const std::string& comName) {
  const UniqueKey bus = OpenKey(HKEY_LOCAL_MACHINE, FtdiBus);
  if (!bus || comName.empty()) return std::nullopt;
  for (const std::wstring& device : SubkeyNames(bus.get())) {
    const UniqueKey instances = OpenKey(bus.get(), device);
    if (!instances) continue;
    for (const std::wstring& instance : SubkeyNames(instances.get())) {
      const UniqueKey adapter = OpenKey(instances.get(), instance);
      if (!adapter || ComName(Narrow(StringValue(adapter.get(), L"Device Parameters", L"PortName"))) != comName)
        continue;
      DWORD latency = 0;
      DWORD size = sizeof latency;
      if (::RegGetValueW(adapter.get(), L"Device Parameters", L"LatencyTimer", RRF_RT_REG_DWORD, nullptr, &latency,
                         &size) != ERROR_SUCCESS) {
        continue;
      }
      return FtdiAdapter{"FTDIBUS\\" + Narrow(device) + "\\" + Narrow(instance), latency};
    }
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> PortDetails(const SystemView&, const PortInfo& port) {
  const std::string name = FriendlyName(ComName(port.device));
  return name.empty() ? std::vector<std::string>() : std::vector<std::string>{name};
}

// Nothing on Windows takes adapters away as brltty does on Linux; drivers do.
Findings AdapterFindings(const SystemView&, const std::vector<PortInfo>&) {
  std::vector<DeviceRecord> devices;
  const bool listed = ForEachPresentDevice(
      nullptr, [&](HDEVINFO list, SP_DEVINFO_DATA& device) { devices.push_back(RecordOf(list, device)); });
  if (!listed) {
    return {{Mark::Warning, "Windows gave no list of its devices: adapters with a problem are not shown",
             "Device Manager shows them with a yellow mark, under Ports (COM & LPT), Universal Serial Bus\n"
             "controllers or Other devices"}};
  }
  return AdapterDeviceFindings(devices);
}

Finding OpenFailureFinding(const SystemView&, const PortInfo& port, const LinkFailure& failure) {
  if (failure.kind != LinkFailureKind::Busy) return LinkFailureFinding(port, failure);
  std::string text = PortName(port) + ": access denied: another program has it open";
  if (const std::string running = PortProgramsRunning(); !running.empty()) text += "; running now: " + running;
  std::string fix =
      "close the program that has it open: SaveQLR5500, another qlr5500, a terminal program such as PuTTY";
  if (const std::string search = PortHolderSearch(port.device); !search.empty()) fix += "\n" + search;
  return {Mark::Problem, text, fix};
}

std::optional<Finding> AdapterLatencyFinding(const SystemView&, const PortInfo& port, bool slow, bool) {
  const std::string comName = ComName(port.device);
  const std::optional<FtdiAdapter> adapter = FtdiAdapterOf(comName);
  if (!adapter) return std::nullopt;
  const std::string text = PortName(port) + ": FTDI adapter " + adapter->instance + ", latency timer " +
                           std::to_string(adapter->latencyMs) + " ms";
  // Windows has no request for prompt delivery: the adapter's own timer decides.
  if (!slow && adapter->latencyMs <= 2) return Finding{Mark::Ok, text, {}};
  const std::string friendly = FriendlyName(comName);
  return Finding{Mark::Problem, text + ": each short answer may wait that long in the adapter",
                 "Device Manager → Ports (COM & LPT) → " + (friendly.empty() ? "the adapter on " + comName : friendly) +
                     " → Properties\n→ Port Settings → Advanced → Latency Timer (msec): 1, then OK; unplug the "
                     "adapter and plug it in again"};
}

// Device Manager names a USB adapter's port after its bus ("USB Serial Port (COM5)").
PortKind KindOfPort(const SystemView&, const PortInfo& port) {
  const std::string comName = ComName(port.device);
  if (FtdiAdapterOf(comName) || FriendlyName(comName).find("USB") != std::string::npos) return PortKind::UsbAdapter;
  return PortKind::Unknown;
}

// A UART's FIFO levels sit in its driver's advanced settings, which are not read here.
std::optional<Finding> UartTriggerFinding(const SystemView&, const PortInfo&, bool) { return std::nullopt; }

}  // namespace qlr::cli
