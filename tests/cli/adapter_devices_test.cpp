// What Windows' device list means for the receiver's adapter: a table of
// devices as SetupAPI and the configuration manager describe them in,
// findings out. Built on Linux and, for Windows, run under Wine.
#include "cli/doctor/adapter_devices.h"

#include <gtest/gtest.h>

namespace qlr::cli {
namespace {

TEST(AdapterDeviceFindings, NameTheAdaptersAndTheirProblems) {
  const std::string ports = "Ports (COM & LPT)";
  struct Case {
    DeviceRecord device;
    Mark mark;
    std::vector<std::string> shown;  // in the finding's text or fix
  };
  const Case cases[] = {
      {{"USB Serial Port (COM5)", {"FTDIBUS\\COMPORT&VID_0403&PID_6001"}, ports, true, "FTDI", "2.12.36.4", 0},
       Mark::Ok,
       {"USB adapter 0403:6001 (FT232R) USB Serial Port (COM5): driver FTDI 2.12.36.4"}},
      {{"Communications Port (COM1)", {"ACPI\\VEN_PNP&DEV_0501", "*PNP0501"}, ports, true, "Microsoft", "10.0.1", 0},
       Mark::Ok,
       {"Communications Port (COM1): driver Microsoft 10.0.1"}},
      {{"Prolific USB-to-Serial Comm Port (COM3)",
        {"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"},
        ports,
        true,
        "Prolific",
        "3.9.6.2",
        10},
       Mark::Problem,
       {"USB adapter 067B:2303 (PL2303) Prolific USB-to-Serial Comm Port (COM3): This device cannot start. (Code 10); "
        "driver Prolific 3.9.6.2: Prolific drivers from Windows Update refuse older and imitation PL2303 chips",
        "Device Manager → Ports (COM & LPT) → Prolific USB-to-Serial Comm Port (COM3) → Properties → Driver → Roll "
        "Back Driver",
        "version 3.3.2.102 (2008)"}},
      {{"USB-SERIAL CH340 (COM4)", {"USB\\VID_1A86&PID_7523&REV_0264"}, ports, true, "wch.cn", "3.8.2023.02", 0},
       Mark::Warning,
       {"(CH340) USB-SERIAL CH340 (COM4): driver wch.cn 3.8.2023.02, a version after which the ports",
        "when the receiver does not answer there: Device Manager → Ports (COM & LPT) → USB-SERIAL CH340 (COM4)",
        "Roll Back Driver (version 3.5.2019.1 works)"}},
      {{"USB-SERIAL CH340 (COM4)", {"USB\\VID_1A86&PID_7523"}, ports, true, "wch.cn", "3.5.2019.1", 0},
       Mark::Ok,
       {"driver wch.cn 3.5.2019.1"}},
      {{"FT232R USB UART", {"USB\\VID_0403&PID_0000&REV_0600"}, "", false, "", "", 28},
       Mark::Problem,
       {"USB adapter 0403:0000 (FTDI) FT232R USB UART: an imitation FTDI chip whose product id a driver set to 0000",
        "echo 0403 0000 | sudo tee /sys/bus/usb-serial/drivers/ftdi_sio/new_id", "product id back to 6001"}},
      {{"CP2102 USB to UART Bridge Controller", {"USB\\VID_10C4&PID_EA60"}, "", false, "", "", 28},
       Mark::Problem,
       {"(CP210x) CP2102 USB to UART Bridge Controller: The drivers for this device are not installed. (Code 28); "
        "no driver",
        "Device Manager → Other devices → CP2102 USB to UART Bridge Controller → Update driver",
        "install Silicon Labs' CP210x VCP driver"}},
      {{"USB Serial Port (COM5)", {"FTDIBUS\\COMPORT&VID_0403&PID_6011"}, ports, true, "FTDI", "2.12.36.4", 22},
       Mark::Problem,
       {"(FTDI) USB Serial Port (COM5): This device is disabled. (Code 22)", "right-click → Enable device"}},
      {{"USB Serial Converter", {"USB\\VID_0403&PID_6001"}, "Universal Serial Bus controllers", false, "FTDI", "2", 43},
       Mark::Problem,
       {"Windows has stopped this device because it has reported problems. (Code 43)",
        "Device Manager → Universal Serial Bus controllers → USB Serial Converter → Uninstall device"}},
      {{"USB-SERIAL CH340 (COM4)", {"USB\\VID_1A86&PID_7523"}, ports, true, "wch.cn", "3.4.2014.8", 52},
       Mark::Problem,
       {"(Code 52)", "Delete the driver software for this device ticked", "install WCH's CH341SER driver"}},
      {{"USB-SERIAL CH340 (COM4)", {"USB\\VID_1A86&PID_7523"}, ports, true, "wch.cn", "3.4.2014.8", 31},
       Mark::Problem,
       {"Device Manager reports problem code 31", "→ Properties → General: the Device status says what is wrong"}},
  };
  for (const Case& c : cases) {
    const Findings findings = AdapterDeviceFindings({c.device});
    ASSERT_EQ(findings.size(), 1u) << c.device.name;
    const std::string printed = FormatFindings(findings);
    EXPECT_EQ(findings[0].mark, c.mark) << printed;
    for (const std::string& text : c.shown) {
      EXPECT_NE((findings[0].text + "\n" + findings[0].fix).find(text), std::string::npos) << text << "\n" << printed;
    }
  }
}

// A mouse is no adapter: with nothing else present (as under Wine) one line says so.
TEST(AdapterDeviceFindings, SayWhenThereIsNoAdapter) {
  const DeviceRecord mouse{"HID-compliant mouse", {"HID\\VID_046D&PID_C077"}, "Mice", false, "Microsoft", "10", 28};
  for (const std::vector<DeviceRecord>& devices : {std::vector<DeviceRecord>{}, std::vector{mouse}}) {
    const Findings findings = AdapterDeviceFindings(devices);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(FormatFindings(findings),
              "ok       no USB serial adapter and nothing in Ports (COM & LPT) among the present devices\n");
  }
}

}  // namespace
}  // namespace qlr::cli
