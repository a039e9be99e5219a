#include "cli/doctor/adapter_devices.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

namespace qlr::cli {
namespace {

constexpr UsbSerialChip UsbSerialChips[] = {
    {"1a86:7523", "CH340", "ch341"},     {"1a86:5523", "CH341", "ch341"},     {"10c4:ea60", "CP210x", "cp210x"},
    {"0403:6001", "FT232R", "ftdi_sio"}, {"0403:6010", "FT2232", "ftdi_sio"}, {"0403:6014", "FT232H", "ftdi_sio"},
    {"0403:6015", "FT230X", "ftdi_sio"}, {"067b:2303", "PL2303", "pl2303"},   {"0403:0000", "FTDI", "ftdi_sio"},
};

// The makers whose bridges most adapters are built on, and the driver each offers.
struct BridgeMaker {
  std::string_view vendor;  // upper case, as Windows writes it
  std::string_view name;
  std::string_view driver;
};
constexpr BridgeMaker BridgeMakers[] = {
    {"0403", "FTDI", "FTDI's VCP driver"},
    {"067B", "Prolific", "Prolific's PL2303 driver"},
    {"1A86", "WCH", "WCH's CH341SER driver"},
    {"10C4", "Silicon Labs", "Silicon Labs' CP210x VCP driver"},
};

// CH340 driver versions from Windows Update after which many adapters' ports
// failed; 3.5.2019.1 is the version users rolled back to.
constexpr std::array<std::array<unsigned, 4>, 2> BrokenCh340Drivers = {{{3, 8, 2023, 2}, {3, 9, 2024, 9}}};

// What Device Manager's Device status says for the codes users meet.
struct ProblemStatus {
  unsigned code;
  std::string_view status;
};
constexpr ProblemStatus ProblemStatuses[] = {
    {10, "This device cannot start. (Code 10)"},
    {22, "This device is disabled. (Code 22)"},
    {28, "The drivers for this device are not installed. (Code 28)"},
    {43, "Windows has stopped this device because it has reported problems. (Code 43)"},
    {52, "Windows cannot verify the digital signature for the drivers required for this device. (Code 52)"},
};

std::string Upper(std::string_view text) {
  std::string upper(text);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  return upper;
}

// The four hex digits after `key` ("VID_") in `id`, or "".
std::string HexAfter(const std::string& id, std::string_view key) {
  const std::size_t at = id.find(key);
  if (at == std::string::npos || at + key.size() + 4 > id.size()) return {};
  const std::string digits = id.substr(at + key.size(), 4);
  return std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c); }) ? digits : "";
}

// "0403:6001" from the first hardware id that names a vendor and a product,
// such as USB\VID_0403&PID_6001&REV_0600 or FTDIBUS\COMPORT&VID_0403&PID_6001.
std::string UsbIdOf(const DeviceRecord& device) {
  for (const std::string& hardwareId : device.hardwareIds) {
    const std::string id = Upper(hardwareId);
    std::string vendor = HexAfter(id, "VID_");
    const std::string product = HexAfter(id, "PID_");
    if (!vendor.empty() && !product.empty()) return vendor.append(":").append(product);
  }
  return {};
}

const BridgeMaker* MakerOf(const std::string& usbId) {
  for (const BridgeMaker& maker : BridgeMakers) {
    if (usbId.starts_with(maker.vendor)) return &maker;
  }
  return nullptr;
}

// "3.8.2023.02" as {3, 8, 2023, 2}; missing or unreadable parts are 0.
std::array<unsigned, 4> VersionOf(const std::string& text) {
  std::array<unsigned, 4> parts{};
  const char* at = text.c_str();
  for (unsigned& part : parts) {
    char* end = nullptr;
    part = static_cast<unsigned>(std::strtoul(at, &end, 10));
    if (end == at || *end != '.') break;
    at = end + 1;
  }
  return parts;
}

std::string InDeviceManager(const DeviceRecord& device) {
  return "Device Manager → " + (device.category.empty() ? std::string("Other devices") : device.category) + " → " +
         device.name;
}

std::string StatusOf(unsigned problem) {
  for (const ProblemStatus& known : ProblemStatuses) {
    if (known.code == problem) return std::string(known.status);
  }
  return "Device Manager reports problem code " + std::to_string(problem);
}

// Device Manager's steps for a problem code.
std::string ProblemFix(const DeviceRecord& device, const BridgeMaker* maker) {
  const std::string where = InDeviceManager(device);
  const std::string makersDriver = maker ? std::string(maker->driver) : "the driver of the adapter's maker";
  switch (device.problem) {
    case 10:
      return where + " → Properties → Driver → Roll Back Driver, when the driver changed lately;\n" +
             "otherwise Uninstall device there, then unplug the adapter and plug it in again";
    case 22: return where + ": right-click → Enable device";
    case 28:
      return where + " → Update driver → Search automatically for drivers;\nwhen Windows finds none, install " +
             makersDriver + ", then unplug the adapter and plug it in again";
    case 43:
      return "unplug the adapter and plug it in again, into another USB port without a hub; when the problem "
             "stays:\n" +
             where + " → Uninstall device, then plug it in again;\nan adapter that still fails may be broken";
    case 52:
      return where + " → Uninstall device, with Delete the driver software for this device ticked;\nthen install " +
             makersDriver + " (it is signed) and plug the adapter in again";
    default: return where + " → Properties → General: the Device status says what is wrong";
  }
}

Finding DeviceFinding(const DeviceRecord& device) {
  const std::string usbId = UsbIdOf(device);
  const BridgeMaker* maker = MakerOf(usbId);
  const UsbSerialChip* chip = FindUsbSerialChip(usbId);
  const std::string chipName(chip ? chip->name : maker ? maker->name : "");
  std::string text = usbId.empty()
                         ? device.name
                         : "USB adapter " + usbId + (chipName.empty() ? "" : " (" + chipName + ")") + " " + device.name;
  const std::string driver = device.driverProvider.empty() && device.driverVersion.empty()
                                 ? "no driver"
                                 : "driver " + device.driverProvider + " " + device.driverVersion;
  if (usbId == Upper(ImitationFtdiId)) {
    return {Mark::Problem, text + ": " + ImitationFtdiText,
            std::string("no Windows driver takes it as it is; on Linux it works after\n") + ImitationFtdiBindCommand +
                "\n" + ImitationFtdiLastingFix};
  }
  const std::string where = InDeviceManager(device);
  if (chipName == "PL2303" && device.problem == 10) {
    return {Mark::Problem,
            text + ": " + StatusOf(device.problem) + "; " + driver +
                ": Prolific drivers from Windows Update refuse older and imitation PL2303 chips",
            where + " → Properties → Driver → Roll Back Driver;\n" +
                "when that is greyed out: Update driver → Browse my computer for drivers\n" +
                "→ Let me pick from a list of available drivers on my computer → version 3.3.2.102 (2008),\n" +
                "which takes these chips, if Windows lists it"};
  }
  const bool ch340 = chipName == "CH340" || chipName == "CH341";
  const auto broken = std::find(BrokenCh340Drivers.begin(), BrokenCh340Drivers.end(), VersionOf(device.driverVersion));
  if (ch340 && broken != BrokenCh340Drivers.end() &&
      (device.problem == 0 || device.problem == 10 || device.problem == 43)) {
    const std::string status = device.problem == 0 ? "" : StatusOf(device.problem) + "; ";
    return {device.problem == 0 ? Mark::Warning : Mark::Problem,
            text + ": " + status + driver + ", a version after which the ports of many CH340 adapters failed",
            std::string(device.problem == 0 ? "when the receiver does not answer there: " : "") + where +
                " → Properties → Driver\n→ Roll Back Driver (version 3.5.2019.1 works)"};
  }
  if (device.problem == 0) return {Mark::Ok, text + ": " + driver, {}};
  return {Mark::Problem, text + ": " + StatusOf(device.problem) + "; " + driver, ProblemFix(device, maker)};
}

}  // namespace

const char* const ImitationFtdiText =
    "an imitation FTDI chip whose product id a driver set to 0000: no driver takes it";
const char* const ImitationFtdiBindCommand = "echo 0403 0000 | sudo tee /sys/bus/usb-serial/drivers/ftdi_sio/new_id";
const char* const ImitationFtdiLastingFix =
    "for good: write the chip's product id back to 6001 with an EEPROM tool for FTDI chips, or use another adapter";

const UsbSerialChip* FindUsbSerialChip(std::string_view id) {
  const std::string wanted = Upper(id);
  for (const UsbSerialChip& chip : UsbSerialChips) {
    if (Upper(chip.id) == wanted) return &chip;
  }
  return nullptr;
}

Findings AdapterDeviceFindings(const std::vector<DeviceRecord>& devices) {
  Findings findings;
  for (const DeviceRecord& device : devices) {
    if (device.portsClass || MakerOf(UsbIdOf(device))) findings.push_back(DeviceFinding(device));
  }
  if (findings.empty()) {
    findings.push_back(
        {Mark::Ok, "no USB serial adapter and nothing in Ports (COM & LPT) among the present devices", {}});
  }
  return findings;
}

}  // namespace qlr::cli
