// The doctor's findings from a scratch system tree: sysfs, /proc, the udev
// and systemd folders as the doctor reads them, built by hand.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "cli/doctor/doctor.h"
#include "support/test_support.h"

namespace qlr::cli {
namespace {

namespace fs = std::filesystem;

class ScratchSystem {
 public:
  const SystemView& View() const { return view_; }

  void File(const std::string& path, const std::string& content = "x\n") const {
    fs::create_directories((view_ / path).parent_path());
    std::ofstream(view_ / path) << content;
  }
  void Link(const std::string& path, const std::string& target) const {
    fs::create_directories((view_ / path).parent_path());
    fs::create_symlink(target, view_ / path);
  }
  // A USB device at `busId`, linked from the bus as sysfs does; with a tty
  // `tty` driven by `driver` below its first interface.
  void UsbAdapter(const std::string& busId, const std::string& id, const std::string& tty = "",
                  const std::string& driver = "") const {
    const std::string device = "devices/usb1/" + busId;
    File("sys/" + device + "/idVendor", id.substr(0, 4) + "\n");
    File("sys/" + device + "/idProduct", id.substr(5) + "\n");
    Link("sys/bus/usb/devices/" + busId, "../../../" + device);
    if (tty.empty()) return;
    const std::string port = device + "/" + busId + ":1.0/" + tty;
    fs::create_directories(view_ / "sys" / port / "tty" / tty);
    Link("sys/class/tty/" + tty, "../../" + port + "/tty/" + tty);
    Link("sys/" + port + "/tty/" + tty + "/device", "../../../" + tty);
    Link("sys/" + port + "/driver", "../../../../../bus/usb-serial/drivers/" + driver);
  }
  void Ftdi(const std::string& latency = "16") const {
    UsbAdapter("1-1", "0403:6001", "ttyUSB0", "ftdi_sio");
    File("sys/devices/usb1/1-1/1-1:1.0/ttyUSB0/latency_timer", latency + "\n");
    Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0", "../../ttyUSB0");
  }
  // A built-in 16550A as the 8250 driver shows it; no trigger file for "".
  void Uart(const std::string& tty, const std::string& trigger) const {
    const std::string port = "devices/platform/serial8250/tty/" + tty;
    File("sys/" + port + "/type", "4\n");
    if (!trigger.empty()) File("sys/" + port + "/rx_trig_bytes", trigger + "\n");
    Link("sys/class/tty/" + tty, "../../" + port);
    Link("sys/" + port + "/device", "../../../serial8250");
    Link("sys/devices/platform/serial8250/driver", "../../../bus/platform/drivers/serial8250");
  }

 private:
  testing::TempDirectory root_;
  SystemView view_{root_.Path()};
};

AnswerTimes RoundTrips(double seconds) { return {std::vector<double>(AnswerTimes::RoundTrips, seconds), 0}; }

TEST(DoctorFindings, FromAScratchSystemTree) {
  const PortInfo ftdiPort{1, "/dev/ttyUSB0", "USB 0403:6001 FT232R USB UART"};
  const PortInfo uartPort{2, "/dev/ttyS1", "serial8250"};
  const PortInfo unknownPort{3, "/dev/qlr-unknown0", {}};
  const auto brltty = [](const ScratchSystem& system) {
    system.UsbAdapter("1-2", "1a86:7523");
    system.File("usr/lib/udev/rules.d/85-brltty.rules");
    system.File("lib/systemd/system/brltty.path");
  };
  struct Case {
    const char* what;
    std::function<void(const ScratchSystem&)> arrange;
    std::optional<AnswerTimes> measured;  // the receiver's on ftdiPort, when it answered
    Mark mark;
    std::vector<std::string> shown;  // in the text or fix of one finding with that mark
    std::vector<std::string> absent = {};
    PortInfo port = {};  // the receiver's port; ftdiPort when none
  };
  const Case cases[] = {
      {"brltty took the CH340",
       brltty,
       {},
       Mark::Problem,
       {"USB adapter 1a86:7523 (CH340) on USB 1-2 has no serial device: brltty took it",
        "/usr/lib/udev/rules.d/85-brltty.rules, /lib/systemd/system/brltty.path", "sudo apt remove brltty",
        "sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules",
        "sudo systemctl mask brltty-udev.service brltty.path"}},
      {"brltty masked, no driver",
       [&](const ScratchSystem& system) {
         brltty(system);
         system.Link("etc/udev/rules.d/85-brltty.rules", "/dev/null");
         system.Link("etc/systemd/system/brltty.path", "/dev/null");
       },
       {},
       Mark::Problem,
       {"(CH340) on USB 1-2 has no serial device: its driver ch341 is not loaded", "sudo modprobe ch341"},
       {"brltty"}},
      {"brltty's rules in /etc",
       [](const ScratchSystem& system) {
         system.UsbAdapter("1-2", "1a86:7523");
         system.File("etc/udev/rules.d/85-brltty.rules");
       },
       {},
       Mark::Problem,
       {"sudo mv /etc/udev/rules.d/85-brltty.rules /etc/udev/rules.d/85-brltty.rules.disabled && "
        "sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules"}},
      {"driver loaded, yet no tty",
       [](const ScratchSystem& system) {
         system.UsbAdapter("1-2", "1a86:7523");
         system.File("sys/module/ch341/refcnt");
       },
       {},
       Mark::Problem,
       {"has no serial device, though its driver ch341 is loaded"}},
      {"an imitation FTDI whose product id is 0000, brltty installed",
       [](const ScratchSystem& system) {
         system.UsbAdapter("1-3", "0403:0000");
         system.File("usr/lib/udev/rules.d/85-brltty.rules");
       },
       {},
       Mark::Problem,
       {"USB adapter 0403:0000 (FTDI) on USB 1-3 has no serial device: an imitation FTDI chip whose product id a "
        "driver set to 0000: no driver takes it",
        "until it is unplugged: sudo modprobe ftdi_sio && echo 0403 0000 | sudo tee "
        "/sys/bus/usb-serial/drivers/ftdi_sio/new_id"},
       {"brltty"}},
      {"an FTDI adapter with its tty",
       [](const ScratchSystem& system) { system.Ftdi(); },
       {},
       Mark::Ok,
       {"port 1 /dev/ttyUSB0: USB 0403:6001 FT232R USB UART, driver ftdi_sio, "
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K-if00-port0"},
       {"has no serial device", "ModemManager", "problem"}},
      {"ftdi_sio at 16 ms, slow answers",
       [](const ScratchSystem& system) { system.Ftdi(); },
       RoundTrips(0.030),
       Mark::Problem,
       {"port 1 /dev/ttyUSB0: ftdi_sio latency_timer 16 ms, low-latency delivery not granted: the adapter holds",
        "DRIVER==\"ftdi_sio\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ATTR{latency_timer}=\"1\"' | "
        "sudo tee -a /etc/udev/rules.d/99-qlr5500.rules",
        "echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer"}},
      {"ftdi_sio at 16 ms, answers at full speed",
       [](const ScratchSystem& system) { system.Ftdi(); },
       RoundTrips(0.0145),
       Mark::Ok,
       {"ftdi_sio latency_timer 16 ms, low-latency delivery granted"},
       {"problem"}},
      {"ModemManager running",
       [](const ScratchSystem& system) {
         system.Ftdi();
         system.File("proc/812/comm", "ModemManager\n");
       },
       {},
       Mark::Warning,
       {"ModemManager is running",
        "echo 'ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"'"}},
      {"an 8250 UART that triggers at 8 bytes, answers fast enough",
       [](const ScratchSystem& system) { system.Uart("ttyS1", "8"); },
       RoundTrips(0.0180),
       Mark::Warning,
       {"port 2 /dev/ttyS1: UART receive trigger 8 bytes: a shorter answer waits for the UART's receive time-out",
        "echo 1 | sudo tee /sys/class/tty/ttyS1/rx_trig_bytes",
        "echo 'ACTION==\"add\", SUBSYSTEM==\"tty\", KERNEL==\"ttyS1\", ATTR{rx_trig_bytes}=\"1\"' | sudo tee -a "
        "/etc/udev/rules.d/99-qlr5500.rules"},
       {"problem", "USB"},
       uartPort},
      {"an 8250 UART that triggers at 8 bytes, slow answers",
       [](const ScratchSystem& system) { system.Uart("ttyS1", "8"); },
       RoundTrips(0.0198),
       Mark::Problem,
       {"answer time: median 19.80 ms", "lower the UART's receive trigger as said above"},
       {"USB"},
       uartPort},
      {"a UART that triggers at once, slow answers",
       [](const ScratchSystem& system) { system.Uart("ttyS1", "1"); },
       RoundTrips(0.030),
       Mark::Problem,
       {"the answers are held back", "the built-in port's driver or a busy machine holds the answers back"},
       {"USB", "receive time-out"},
       uartPort},
      {"a port of unknown kind, slow answers",
       [](const ScratchSystem&) {},
       RoundTrips(0.030),
       Mark::Problem,
       {"the answers are held back", "try again when the\nmachine is idle, or another port"},
       {"USB", "UART"},
       unknownPort},
      {"the kernel's console",
       [](const ScratchSystem& system) { system.Uart("ttyS0", ""); },
       {},
       Mark::Ok,
       {"port 2 /dev/ttyS0: serial8250, the kernel's console: not scanned"},
       {},
       {2, "/dev/ttyS0", "serial8250", true}},
  };
  for (const Case& c : cases) {
    const ScratchSystem system;
    c.arrange(system);
    const PortInfo& port = c.port.device.empty() ? ftdiPort : c.port;
    const bool present = fs::exists(system.View() / "sys/class/tty" / fs::path(port.device).filename());
    Findings findings = SystemFindings(system.View(), present ? std::vector{port} : std::vector<PortInfo>{}, false);
    if (c.measured) {
      const bool fast = !c.measured->Slow();
      const Findings answers = ReceiverFindings(system.View(), {port, 2, *c.measured, fast});
      findings.insert(findings.end(), answers.begin(), answers.end());
    }
    const std::string printed = FormatFindings(findings);
    const bool found = std::any_of(findings.begin(), findings.end(), [&c](const Finding& finding) {
      return finding.mark == c.mark && std::all_of(c.shown.begin(), c.shown.end(), [&finding](const std::string& s) {
               return (finding.text + "\n" + finding.fix).find(s) != std::string::npos;
             });
    });
    EXPECT_TRUE(found) << c.what << ":\n" << printed;
    for (const std::string& text : c.absent)
      EXPECT_EQ(printed.find(text), std::string::npos) << c.what << ":\n" << printed;
  }
}

// What the ports tried say, and the exit status they lead to: a port that
// fails matters less once the receiver answered on another.
TEST(DoctorFindings, FromThePortsTried) {
  const PortInfo port{2, "/dev/ttyS1", {}};
  LinkFailure missing, silent;
  missing.kind = LinkFailureKind::NoDevice;
  silent.kind = LinkFailureKind::NoAnswer;
  struct Case {
    PortProbe probe;
    bool receiverAnswered;
    Mark mark;
    std::string shown;
    int exitCode;
  };
  const Case cases[] = {
      {{port, missing, false}, false, Mark::Problem, "port 2 /dev/ttyS1: ", 3},
      {{port, missing, false}, true, Mark::Warning, "port 2 /dev/ttyS1: ", 0},
      {{port, silent, true},
       false,
       Mark::Problem,
       "switch the receiver on and check that its cable is in this port",
       3},
      {{port, silent, true}, true, Mark::Ok, "port 2 /dev/ttyS1: opens; no receiver answers there", 0},
  };
  for (const Case& c : cases) {
    const Findings findings = ProbeFindings(SystemView{}, {c.probe}, c.receiverAnswered);
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].mark, c.mark) << FormatFindings(findings);
    EXPECT_NE((findings[0].text + findings[0].fix).find(c.shown), std::string::npos) << FormatFindings(findings);
    EXPECT_EQ(DoctorExitCode(findings, c.receiverAnswered), c.exitCode) << FormatFindings(findings);
  }
}

}  // namespace
}  // namespace qlr::cli
