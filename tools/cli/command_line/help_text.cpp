#include "cli/command_line/help_text.h"

#include <algorithm>

#include "link/port_map.h"

namespace qlr::cli {
namespace {

constexpr const char* ExitStatusText =
    "exit status:\n"
    "  0  success (compare, diff: the images are identical)\n"
    "  1  compare, diff: the images differ; doctor: the receiver answers, but\n"
    "     something needs fixing\n"
    "  2  usage error, several receivers answered a scan, or a write not confirmed\n"
    "  3  the port, the line or the receiver failed (doctor: none could be reached)\n"
    "  4  an image file, a backup or the trace could not be read or written\n";

constexpr std::size_t OptionTextColumn = 20;
constexpr std::size_t CommandTextColumn = 38;

// Pads `text` to `column`; text that would reach it ends its line there, and
// the next line is indented by `indent` and the column.
void PadToColumn(std::string& text, std::size_t column, std::size_t indent) {
  if (text.size() + 2 > column) {
    text += '\n';
    text.append(indent + column, ' ');
  } else {
    text.resize(column, ' ');
  }
}

// "  -p, --port P      the receiver's port: ...", further lines of the help indented alike.
std::string OptionLine(const OptionSpec& option) {
  std::string line = "  " + (option.shortName.empty() ? std::string(4, ' ') : std::string(option.shortName) + ", ") +
                     std::string(option.longName);
  if (!option.valueName.empty()) line += " " + std::string(option.valueName);
  // A long option name puts its text on the next line, in the column.
  PadToColumn(line, OptionTextColumn, 0);
  for (const char c : option.help) {
    line += c;
    if (c == '\n') line.append(OptionTextColumn, ' ');
  }
  return line + "\n";
}

std::string OptionLines(const CommandSpec& command) {
  std::string text;
  for (const OptionSpec* option : command.options) text += OptionLine(*option);
  return text + "  -h, --help        show this help\n";
}

std::string ToolHelp(const CommandTable& table) {
  std::string text =
      "usage: qlr5500 COMMAND [OPTIONS] [FILE...]\n"
      "\n"
      "Backs up and restores the 128-byte EEPROM of a QLR5500 receiver on a serial\n"
      "port. Image files hold the EEPROM as 128 raw bytes. Every change keeps a backup\n"
      "of what it replaces: 'qlr5500 history' lists the changes, 'qlr5500 undo' takes\n"
      "one back.\n"
      "\n"
      "commands:\n";
  for (const CommandSpec& command : table.commands) {
    std::string synopsis = command.Synopsis();
    // A long synopsis puts its summary on the next line, in the column.
    PadToColumn(synopsis, CommandTextColumn, 2);
    text += "  " + synopsis + std::string(command.summary) + "\n";
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

}  // namespace

std::string HelpText(const CommandSpec* command, const CommandTable& table) {
  if (!command || command->IsHelp()) return ToolHelp(table);
  return "usage: qlr5500 " + command->Synopsis() + "\n\n" + std::string(command->details) + "\noptions:\n" +
         OptionLines(*command) + "\n" + ExitStatusText;
}

std::string UsageHint(const CommandSpec* command) {
  if (!command || command->IsHelp()) {
    return "usage: qlr5500 COMMAND [OPTIONS] [FILE...]; 'qlr5500 --help' lists the commands\n";
  }
  return "usage: qlr5500 " + command->Synopsis() + "; 'qlr5500 " + std::string(command->name) + " --help' tells more\n";
}

}  // namespace qlr::cli
