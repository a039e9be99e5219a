// The doctor on Linux: sysfs for the adapters and their drivers, /proc for
// the programs that hold a port or probe adapters, the udev and systemd
// folders for the services that take adapters away. Everything is read
// below the SystemView's root.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "cli/doctor/adapter_devices.h"
#include "cli/doctor/doctor.h"
#include "cli/doctor/doctor_posix.h"
#include "link/port_map_linux.h"
#include "os/decimal.h"

namespace qlr::cli {
namespace {

namespace fs = std::filesystem;

// Where our udev rules go: after the system's, so that they have the last word.
constexpr const char* RulesFile = "/etc/udev/rules.d/99-qlr5500.rules";

// ttyUSB0 for /dev/ttyUSB0 and for a link to it such as /dev/serial/by-id/...
std::string TtyName(const std::string& device) {
  std::error_code error;
  const fs::path real = fs::canonical(device, error);
  return (error ? fs::path(device) : real).filename().string();
}

// The tty's device in sysfs (a USB serial port, a USB interface, a UART);
// empty when sysfs knows no such tty (a pty).
fs::path TtyDevice(const SystemView& view, const std::string& device) {
  std::error_code error;
  const fs::path found = fs::canonical(view / "sys/class/tty" / TtyName(device) / "device", error);
  return error ? fs::path() : found;
}

std::string DriverOf(const fs::path& device) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(device / "driver", error);
  return error ? std::string() : driver.filename().string();
}

// "vvvv:pppp" of the USB device that `device` sits on, or "".
std::string UsbIdAbove(const fs::path& device) {
  const fs::path usb = UsbDeviceOf(device);
  return usb.empty() ? std::string() : UsbIdOf(usb);
}

// The udev match of a USB adapter by its vendor:product.
std::string UsbMatch(const std::string& id) {
  const std::size_t colon = id.find(':');
  return "ATTRS{idVendor}==\"" + id.substr(0, colon) + "\", ATTRS{idProduct}==\"" + id.substr(colon + 1) + "\"";
}

// Appending `rules` to our rules file, for a user to paste.
std::string AddRulesFix(const std::vector<std::string>& rules) {
  std::string fix;
  for (const std::string& rule : rules) fix += "echo '" + rule + "' | sudo tee -a " + RulesFile + "\n";
  return fix + "sudo udevadm control --reload, then unplug the adapter and plug it in again";
}

// Keeps ModemManager away from the adapters with these vendor:products.
std::string ModemManagerFix(std::set<std::string> ids) {
  const bool unknown = ids.empty();
  if (unknown) ids.insert("VVVV:PPPP");
  std::vector<std::string> rules;
  for (const std::string& id : ids) rules.push_back(UsbMatch(id) + ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"");
  std::string fix = unknown ? "put the adapter's vendor:product ('qlr5500 ports' shows it) for VVVV:PPPP:\n" : "";
  return fix + AddRulesFix(rules);
}

std::set<std::string> UsbIdsOfPorts(const SystemView& view, const std::vector<PortInfo>& ports) {
  std::set<std::string> ids;
  for (const PortInfo& port : ports) {
    const fs::path device = TtyDevice(view, port.device);
    const std::string id = device.empty() ? "" : UsbIdAbove(device);
    if (!id.empty()) ids.insert(id);
  }
  return ids;
}

// --- adapters without a tty, and what took them ---

struct Adapter {
  std::string busId;  // "1-2", where it is on the bus
  std::string id;     // vendor:product
  const UsbSerialChip* chip = nullptr;
};

bool HasTty(const fs::path& usbDevice) {
  std::error_code error;
  for (fs::recursive_directory_iterator at(usbDevice, error), end; !error && at != end; at.increment(error)) {
    const std::string name = at->path().filename().string();
    if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) return true;
    if (at.depth() >= 3) at.disable_recursion_pending();
  }
  return false;
}

std::vector<Adapter> AdaptersWithoutTty(const SystemView& view) {
  std::vector<Adapter> adapters;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(view / "sys/bus/usb/devices", error)) {
    const fs::path device = fs::canonical(entry.path(), error);
    if (error || !fs::exists(device / "idVendor")) continue;
    const std::string id = UsbIdOf(device);
    const UsbSerialChip* chip = FindUsbSerialChip(id);
    if (chip && !HasTty(device)) adapters.push_back({entry.path().filename().string(), id, chip});
  }
  std::sort(adapters.begin(), adapters.end(), [](const Adapter& a, const Adapter& b) { return a.busId < b.busId; });
  return adapters;
}

bool Masked(const fs::path& file) {
  std::error_code error;
  return fs::read_symlink(file, error) == "/dev/null" || (fs::is_regular_file(file) && fs::file_size(file, error) == 0);
}

// The files of `folders` (in order of precedence) that `wanted` picks, a
// name in an earlier folder hiding it in the later ones, masked ones left out.
template <typename Wanted>
std::vector<std::string> ActiveFiles(const SystemView& view, const std::vector<std::string>& folders, Wanted wanted) {
  std::set<std::string> seen;
  std::vector<std::string> active;
  for (const std::string& folder : folders) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(view / folder, error)) {
      const std::string name = entry.path().filename().string();
      if (!wanted(name) || !seen.insert(name).second || Masked(entry.path())) continue;
      active.push_back((fs::path("/") / folder / name).string());
    }
  }
  return active;
}

// brltty's udev rules and units, which claim common adapters for braille displays.
std::vector<std::string> BrailleServiceFiles(const SystemView& view) {
  std::vector<std::string> files = ActiveFiles(
      view, {"etc/udev/rules.d", "run/udev/rules.d", "usr/lib/udev/rules.d", "lib/udev/rules.d"},
      [](const std::string& name) { return name.find("brltty") != std::string::npos && name.ends_with(".rules"); });
  const std::vector<std::string> units =
      ActiveFiles(view, {"etc/systemd/system", "run/systemd/system", "usr/lib/systemd/system", "lib/systemd/system"},
                  [](const std::string& name) { return name == "brltty-udev.service" || name == "brltty.path"; });
  files.insert(files.end(), units.begin(), units.end());
  return files;
}

// No driver claims product id 0000 by itself; ftdi_sio takes it once it is told the id.
Finding ImitationFtdiFinding(const SystemView& view, const std::string& what) {
  const std::string load = fs::exists(view / "sys/module/ftdi_sio") ? "" : "sudo modprobe ftdi_sio && ";
  return {Mark::Problem, what + ": " + ImitationFtdiText,
          "until it is unplugged: " + load + ImitationFtdiBindCommand + "\n" + ImitationFtdiLastingFix};
}

Finding AdapterWithoutTtyFinding(const SystemView& view, const Adapter& adapter,
                                 const std::vector<std::string>& brailleFiles) {
  const std::string what = "USB adapter " + adapter.id + " (" + std::string(adapter.chip->name) + ") on USB " +
                           adapter.busId + " has no serial device";
  if (adapter.id == ImitationFtdiId) return ImitationFtdiFinding(view, what);
  if (!brailleFiles.empty()) {
    std::string list, masks;
    for (const std::string& file : brailleFiles) {
      list += (list.empty() ? "" : ", ") + file;
      if (!file.ends_with(".rules")) continue;
      const std::string mask = "/etc/udev/rules.d/" + fs::path(file).filename().string();
      // A rules file of that name in /etc is moved aside first: a link cannot take its place.
      if (file == mask) masks.append("sudo mv ").append(mask).append(" ").append(mask).append(".disabled && ");
      masks.append("sudo ln -s /dev/null ").append(mask).append("\n");
    }
    return {Mark::Problem, what + ": brltty took it for a braille display (" + list + ")",
            "sudo apt remove brltty (when no braille display is used), or keep brltty and stop it:\n" + masks +
                "sudo systemctl mask brltty-udev.service brltty.path\n"
                "then unplug the adapter and plug it in again"};
  }
  const std::string driver(adapter.chip->linuxDriver);
  if (!fs::exists(view / "sys/module" / driver)) {
    return {Mark::Problem, what + ": its driver " + driver + " is not loaded",
            "sudo modprobe " + driver +
                ", then unplug the adapter and plug it in again; without such a module, install\n"
                "the kernel's extra modules (linux-modules-extra-$(uname -r) on Ubuntu)"};
  }
  return {Mark::Problem, what + ", though its driver " + driver + " is loaded",
          "unplug it and plug it in again; 'sudo dmesg | tail -20' then shows what the kernel made of it"};
}

// --- programs ---

struct Process {
  int pid = 0;
  std::string name;
};

// A process id as /proc names it.
std::optional<int> ProcessId(std::string_view text) { return ParseDecimal(text, 1, std::numeric_limits<int>::max()); }

std::vector<Process> Processes(const SystemView& view) {
  std::vector<Process> processes;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(view / "proc", error)) {
    const std::optional<int> pid = ProcessId(entry.path().filename().string());
    if (pid) processes.push_back({*pid, ReadFirstLine(entry.path() / "comm")});
  }
  return processes;
}

// The pids with a lock on the file `info` describes, from /proc/locks.
std::set<int> Lockers(const SystemView& view, const struct stat& info) {
  char where[64];
  std::snprintf(where, sizeof where, "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                static_cast<unsigned long>(info.st_ino));
  std::set<int> pids;
  std::ifstream locks(view / "proc/locks");
  for (std::string line; std::getline(locks, line);) {
    // "1: FLOCK  ADVISORY  WRITE 2301 00:19:5 0 EOF"; a waiter's line has "->" after the number.
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    fields >> number >> kind >> mode >> access >> pid >> file;
    const std::optional<int> locker = ProcessId(pid);
    if (kind != "->" && file == where && locker) pids.insert(*locker);
  }
  return pids;
}

// The other programs that have `device` open; `hidden` counts those whose
// descriptors this user may not see.
std::vector<Process> Holders(const SystemView& view, const std::string& device, int& hidden) {
  std::error_code error;
  const fs::path real = fs::canonical(device, error);
  std::vector<Process> holders;
  for (const Process& process : Processes(view)) {
    if (process.pid == ::getpid()) continue;
    fs::directory_iterator fds(view / "proc" / std::to_string(process.pid) / "fd", error);
    if (error) {
      hidden += error == std::errc::permission_denied;
      continue;
    }
    for (const fs::directory_entry& fd : fds) {
      if (fs::read_symlink(fd.path(), error) == real) {
        holders.push_back(process);
        break;
      }
    }
  }
  // Many may have it open (the emulator keeps its own end); the one with the lock is the one in the way.
  struct stat info {};
  if (holders.size() > 1 && ::stat(real.c_str(), &info) == 0) {
    const std::set<int> lockers = Lockers(view, info);
    std::vector<Process> locking;
    std::copy_if(holders.begin(), holders.end(), std::back_inserter(locking),
                 [&lockers](const Process& p) { return lockers.contains(p.pid); });
    if (!locking.empty()) holders = locking;
  }
  return holders;
}

std::string HolderFix(const SystemView& view, const PortInfo& port, const Process& holder) {
  static const std::set<std::string> terminals = {"minicom", "picocom", "screen",  "tio",      "cu",
                                                  "putty",   "gtkterm", "cutecom", "moserial", "microcom"};
  const std::string pid = std::to_string(holder.pid);
  if (holder.name == "ModemManager") return ModemManagerFix(UsbIdsOfPorts(view, {port}));
  if (holder.name == "qlr5500" || holder.name == "SaveQLR5500") {
    return "let the other " + holder.name + " finish, or end it (kill " + pid + ")";
  }
  if (terminals.contains(holder.name)) return "close the terminal program " + holder.name + " (pid " + pid + ")";
  return "close the port in " + holder.name + ", or end it (kill " + pid + ")";
}

Finding BusyFinding(const SystemView& view, const PortInfo& port) {
  int hidden = 0;
  const std::vector<Process> holders = Holders(view, port.device, hidden);
  const std::string busy = PortName(port) + ": busy: ";
  const std::string find = "sudo fuser -v " + port.device + " names it; then close that program";
  if (holders.empty() && hidden > 0) {
    return {Mark::Problem, busy + "another program has it open, one that user " + CurrentUserName() + " may not see",
            find};
  }
  if (holders.empty()) return {Mark::Problem, busy + "another program has it open", find};
  std::string names;
  for (const Process& holder : holders) {
    names += (names.empty() ? "" : ", ") + holder.name + " (pid " + std::to_string(holder.pid) + ")";
  }
  return {Mark::Problem, busy + names + " has it open", HolderFix(view, port, holders.front())};
}

}  // namespace

std::vector<std::string> PortDetails(const SystemView& view, const PortInfo& port) {
  const fs::path device = TtyDevice(view, port.device);
  std::vector<std::string> details;
  // A port off USB is described by its driver already.
  if (const std::string driver = device.empty() ? "" : DriverOf(device);
      !driver.empty() && driver != "port" && driver != port.description) {
    details.push_back("driver " + driver);
  }
  const std::string tty = TtyName(port.device);
  std::error_code error;
  for (const fs::directory_entry& link : fs::directory_iterator(view / "dev/serial/by-id", error)) {
    if (fs::read_symlink(link.path(), error).filename() == tty) {
      details.push_back("/dev/serial/by-id/" + link.path().filename().string());
    }
  }
  return details;
}

Findings AdapterFindings(const SystemView& view, const std::vector<PortInfo>& ports) {
  Findings findings;
  const std::vector<Adapter> lost = AdaptersWithoutTty(view);
  const std::vector<std::string> brailleFiles = lost.empty() ? std::vector<std::string>() : BrailleServiceFiles(view);
  for (const Adapter& adapter : lost) findings.push_back(AdapterWithoutTtyFinding(view, adapter, brailleFiles));
  const std::vector<Process> processes = Processes(view);
  if (std::any_of(processes.begin(), processes.end(), [](const Process& p) { return p.name == "ModemManager"; })) {
    findings.push_back({Mark::Warning,
                        "ModemManager is running: it opens new serial devices and sends them modem commands",
                        ModemManagerFix(UsbIdsOfPorts(view, ports))});
  }
  return findings;
}

Finding OpenFailureFinding(const SystemView& view, const PortInfo& port, const LinkFailure& failure) {
  if (failure.kind == LinkFailureKind::PermissionDenied) return PermissionFinding(port);
  if (failure.kind == LinkFailureKind::Busy) return BusyFinding(view, port);
  return LinkFailureFinding(port, failure);
}

std::optional<Finding> AdapterLatencyFinding(const SystemView& view, const PortInfo& port, bool slow,
                                             bool lowLatencyGranted) {
  const fs::path device = TtyDevice(view, port.device);
  if (device.empty() || !fs::exists(device / "latency_timer")) return std::nullopt;
  const std::string driver = DriverOf(device);
  const std::string timer = ReadFirstLine(device / "latency_timer");
  const std::string text = PortName(port) + ": " + driver + " latency_timer " + timer + " ms, low-latency delivery " +
                           (lowLatencyGranted ? "granted" : "not granted");
  if (!slow) return Finding{Mark::Ok, text, {}};
  const std::string id = UsbIdAbove(device);
  const std::string match = id.empty() ? "" : ", " + UsbMatch(id);
  return Finding{Mark::Problem, text + ": the adapter holds short answers back",
                 "a udev rule sets it to 1 ms whenever the adapter is plugged in:\n" +
                     AddRulesFix({"ACTION==\"add\", SUBSYSTEM==\"usb-serial\", DRIVER==\"" + driver + "\"" + match +
                                  ", ATTR{latency_timer}=\"1\""}) +
                     "\n(until then: echo 1 | sudo tee /sys/bus/usb-serial/devices/" + device.filename().string() +
                     "/latency_timer)"};
}

PortKind KindOfPort(const SystemView& view, const PortInfo& port) {
  const fs::path device = TtyDevice(view, port.device);
  if (device.empty()) return PortKind::Unknown;
  if (!UsbDeviceOf(device).empty()) return PortKind::UsbAdapter;
  // The serial core gives every UART it drives a type (a 16550A is 4).
  if (fs::exists(view / "sys/class/tty" / TtyName(port.device) / "type")) return PortKind::Uart;
  return PortKind::Unknown;
}

// A 16550A interrupts after 8 bytes by default, so a 6-byte answer waits for
// the 4-character receive time-out (about 4 ms at 9600 baud) on every exchange.
std::optional<Finding> UartTriggerFinding(const SystemView& view, const PortInfo& port, bool slow) {
  const std::string tty = TtyName(port.device);
  const std::string attribute = "/sys/class/tty/" + tty + "/rx_trig_bytes";
  const std::string bytes = ReadFirstLine(view / attribute.substr(1));
  const std::optional<int> trigger = ParseDecimal(bytes, 0, 9999);
  if (!trigger) return std::nullopt;
  const std::string text = PortName(port) + ": UART receive trigger " + bytes + (bytes == "1" ? " byte" : " bytes");
  if (*trigger <= 1) return Finding{Mark::Ok, text, {}};
  return Finding{
      slow ? Mark::Problem : Mark::Warning, text + ": a shorter answer waits for the UART's receive time-out",
      "echo 1 | sudo tee " + attribute + "\nand a udev rule sets it at every start:\necho 'ACTION==\"add\", " +
          "SUBSYSTEM==\"tty\", KERNEL==\"" + tty + "\", ATTR{rx_trig_bytes}=\"1\"' | sudo tee -a " + RulesFile};
}

}  // namespace qlr::cli
