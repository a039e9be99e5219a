// Which device a port number 1..16 stands for.
//
// On Linux port n is the n-th serial port present on the machine, in this
// order: USB serial adapters (ttyUSB0, ttyUSB1, ...), USB modems (ttyACM0,
// ...), then built-in UARTs that really have hardware behind them (ttyS*,
// ttyAMA*, ...), each group in numeric order. Legacy UART placeholders
// without hardware are left out. A port that is the kernel's console stays
// in the map (the numbers after it do not shift) but is marked: scans pass
// it by, and only a user who names it gets it. The environment variable
// QLR5500_PORTS replaces the whole map: a list of device paths, the k-th
// being port k, taken as they are (none is marked as a console); an empty
// entry is a port with no device. Entries are
// separated by ':' on POSIX systems and by ';' on Windows, where drive
// letters hold a colon.
//
// On Windows port n is COMn (as \\.\COMn), whether or not it exists; the
// list shows the COM ports 1..16 that exist. QLR5500_PORTS entries there are
// any path CreateFile accepts, e.g. \\.\COM7, or under Wine Z:\dev\pts\3; a
// bare name such as COM12 means \\.\COM12.
//
// port_map.cpp reads the lists, port_map_posix.cpp and port_map_win32.cpp
// apply them; SystemPorts is each system's own (port_map_linux.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qlr {

struct PortInfo {
  int number = 0;
  std::string device;       // e.g. "/dev/ttyUSB0"
  std::string description;  // what the machine says it is, e.g. "USB 0403:6001 FT232R"; may be empty
  bool console = false;     // the kernel writes its messages there: never scanned
};

inline constexpr const char* PortsVariable = "QLR5500_PORTS";
// Between the entries of QLR5500_PORTS on this platform.
extern const char PortsSeparator;

// The map as it stands when it is read, for a program that looks ports up
// many times (a scan looks up 16): each lookup then costs no system call.
class PortMap {
 public:
  PortMap() = default;

  // The map that a QLR5500_PORTS value gives, or the machine's own without one.
  static PortMap Read(const std::optional<std::string>& portsVariable);
  // The same with this process's QLR5500_PORTS, read now.
  static PortMap OfProcess();

  // In port order; entries without a device are left out.
  const std::vector<PortInfo>& Ports() const { return ports_; }
  // Whether QLR5500_PORTS made the map (the machine's own was not read).
  bool Named() const { return named_; }
  // The device of port n, or "" when port n has none.
  std::string DeviceFor(int number) const;
  // The number of the port whose device `device` is (or links to); 0 for
  // a device that is not in the map.
  int NumberOf(const std::string& device) const;
  // Whether port n is a kernel console, which a scan passes by.
  bool IsConsole(int number) const;

 private:
  PortMap(std::vector<PortInfo> ports, bool named) : ports_(std::move(ports)), named_(named) {}
  // The device of a port the machine's map does not list: on Windows port n
  // is COMn whether or not it is there now; elsewhere there is none.
  static std::string UnlistedDevice(int number);

  std::vector<PortInfo> ports_;
  bool named_ = false;
};

// The device of port n in the map of this moment, or "" when port n has no
// device: PortMap::OfProcess().DeviceFor(n).
std::string DeviceForPort(int number);

// The whole map of this moment, in port order: PortMap::OfProcess().Ports().
std::vector<PortInfo> ListPorts();

// The machine's own map, whatever QLR5500_PORTS says.
std::vector<PortInfo> SystemPorts();

// Whether two names are the same device (a link and its target are).
bool SameDevice(const std::string& a, const std::string& b);

// Whether `device` names something present (a device of the Win32 device
// namespace, \\.\COM3, is no file the file system could see).
bool DeviceExists(const std::string& device);

// The map built from a QLR5500_PORTS value (exposed for tests).
std::vector<PortInfo> PortsFromList(const std::string& list, char separator = PortsSeparator);

// n for the name "COMn" (any case, n from 1 up); 0 for any other name.
int ComNumber(std::string_view name);

// The map built from the names of the COM ports that exist ("COM3", ...):
// COMn is port n, for n in 1..16, in number order (exposed for tests).
std::vector<PortInfo> PortsFromComNames(const std::vector<std::string>& names);

}  // namespace qlr
