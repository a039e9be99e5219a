#include "cli/help_text.h"

#include <algorithm>

#include "link/port_map.h"

namespace qlr::cli {
namespace {

constexpr const char* ExitStatusText =
    "exit status:\n"
    "  0  success (compare, diff: the images are identical)\n"
    "  1  compare, diff: the images differ\n"
    "  2  usage error, several receivers answered a scan, or a write not confirmed\n"
    "  3  the port, the line or the receiver failed\n"
    "  4  an image file could not be read or written\n";

std::string PortOptionText() {
  return std::string("  -p, --port P      the receiver's port: a number 1..16 (see 'qlr5500 ports') or a\n"
                     "                    device such as ") +
         ExampleDevice +
         ". Without it the ports are scanned,\n"
         "                    which works when exactly one receiver answers.\n";
}

std::string OptionLines(unsigned options) {
  std::string text;
  if (options & OptionPort) text += PortOptionText();
  if (options & OptionYes) text += "  -y, --yes         write without asking\n";
  if (options & OptionAll) text += "      --all         try every port and list every receiver that answers\n";
  if (options & OptionNoClobber) text += "  -n, --no-clobber  refuse to replace an existing FILE\n";
  return text + "  -h, --help        show this help\n";
}

}  // namespace

std::string ToolHelp() {
  std::string text =
      "usage: qlr5500 COMMAND [OPTIONS] [FILE...]\n"
      "\n"
      "Backs up and restores the 128-byte EEPROM of a QLR5500 receiver on a serial\n"
      "port. Image files hold the EEPROM as 128 raw bytes.\n"
      "\n"
      "commands:\n";
  for (const CommandInfo& info : Commands()) {
    std::string synopsis(info.synopsis);
    synopsis.resize(std::max<std::size_t>(synopsis.size() + 2, 38), ' ');
    text += "  " + synopsis + std::string(info.summary) + "\n";
  }
  text +=
      "\n"
      "P is a port number 1..16 or a device. Ports are numbered by the port map that\n"
      "'qlr5500 ports' shows; QLR5500_PORTS=dev1" +
      std::string(1, PortsSeparator) + "dev2" + std::string(1, PortsSeparator) +
      "... replaces it.\n"
      "'qlr5500 COMMAND --help' tells more about a command; --version shows the version.\n"
      "\n";
  return text + ExitStatusText;
}

std::string CommandHelp(Command command) {
  if (command == Command::None || command == Command::Help) return ToolHelp();
  const CommandInfo& info = InfoFor(command);
  return "usage: qlr5500 " + std::string(info.synopsis) + "\n\n" + std::string(info.details) + "\noptions:\n" +
         OptionLines(info.options) + "\n" + ExitStatusText;
}

std::string UsageHint(Command command) {
  if (command == Command::None || command == Command::Help) {
    return "usage: qlr5500 COMMAND [OPTIONS] [FILE...]; 'qlr5500 --help' lists the commands\n";
  }
  const CommandInfo& info = InfoFor(command);
  return "usage: qlr5500 " + std::string(info.synopsis) + "; 'qlr5500 " + std::string(info.name) +
         " --help' tells more\n";
}

}  // namespace qlr::cli
