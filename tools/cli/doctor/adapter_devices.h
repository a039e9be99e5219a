// USB serial adapters: the chips they are built on, and what Windows' device
// list says of them.
//
// The Windows doctor fills a table of the present devices from SetupAPI and
// the configuration manager (doctor_win32.cpp); what the table means is
// worked out here, apart from the system, so that tests can feed it any
// devices on any system. The chip table and the imitation FTDI chip serve
// the Linux doctor as well.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/doctor/doctor.h"

namespace qlr::cli {

// A USB serial chip that adapters are usually built on.
struct UsbSerialChip {
  std::string_view id;           // vendor:product as Linux writes it, "1a86:7523"
  std::string_view name;         // "CH340"
  std::string_view linuxDriver;  // the kernel module that gives it a tty
};

// The chip of a vendor:product (in either case), or nullptr.
const UsbSerialChip* FindUsbSerialChip(std::string_view id);

// An FTDI chip whose product id a driver set to 0000, as it did to
// imitation chips: no driver takes it any more, on any system.
inline constexpr std::string_view ImitationFtdiId = "0403:0000";
extern const char* const ImitationFtdiText;  // what it is, for a finding's text
// Lets Linux's ftdi_sio take it until it is unplugged (ftdi_sio loaded).
extern const char* const ImitationFtdiBindCommand;
// What mends it for good, on any system.
extern const char* const ImitationFtdiLastingFix;

// One present device, as Device Manager shows it.
struct DeviceRecord {
  std::string name;                      // friendly name or description: "USB-SERIAL CH340 (COM4)"
  std::vector<std::string> hardwareIds;  // "USB\VID_1A86&PID_7523&REV_0264", "USB\VID_1A86&PID_7523"
  std::string category;                  // Device Manager's group, "Ports (COM & LPT)"; empty: Other devices
  bool portsClass = false;               // of the Ports (COM & LPT) class
  std::string driverProvider;            // "wch.cn"; empty without a driver
  std::string driverVersion;             // "3.8.2023.2"
  unsigned problem = 0;                  // the configuration manager's problem code (CM_PROB_*); 0: none
};

// One finding for each USB serial adapter of the usual bridge makers (vendor
// ids 0403, 067B, 1A86, 10C4) and each device of Ports (COM & LPT) among
// `devices`: ok with its vendor:product and driver; a problem with what
// Device Manager says of it and the steps there that fix it; a warning for
// a driver known to break ports. A single ok finding when there are none.
Findings AdapterDeviceFindings(const std::vector<DeviceRecord>& devices);

}  // namespace qlr::cli
