#include "cli/arguments.h"

#include <algorithm>
#include <array>

#include "cli/commands.h"
#include "link/device_name.h"

namespace qlr::cli {
namespace {

constexpr unsigned ReceiverOptions = OptionPort;

constexpr std::array<CommandInfo, 10> CommandTable = {{
    {Command::Ports, RunPorts, "ports", 0, 0, 0, "ports", "list the serial ports and what they are",
     "Lists the port map: each port number 1..16 that has a device, the device, and what\n"
     "the machine says the device is (a USB adapter's vendor:product and name).\n"
     "QLR5500_PORTS, a colon-separated list of devices, replaces the map.\n"},
    {Command::Find, RunFind, "find", OptionAll, 0, 0, "find [--all]", "find the port the receiver is on",
     "Scans ports 1 to 16 for a receiver and prints the first port that answers: its\n"
     "number, then its device. With --all, every port is tried and each one with a\n"
     "receiver is printed on a line of its own. Exit status 3 when no receiver answers.\n"},
    {Command::Region, RunRegion, "region", ReceiverOptions, 0, 0, "region [--port P]", "show the receiver's region",
     "Prints the receiver's region code, then its name (JAPAN, USA, EUR/AUS, ...);\n"
     "a code that has no name prints \"unknown\".\n"},
    {Command::Read, RunRead, "read", ReceiverOptions | OptionNoClobber, 1, 1, "read [--port P] [--no-clobber] FILE",
     "save the receiver's EEPROM in FILE",
     "Reads the receiver's 128-byte EEPROM and saves it in FILE, raw, 128 bytes.\n"
     "FILE only ever appears complete: when anything fails, an existing FILE keeps\n"
     "its contents and no new file is left behind.\n"},
    {Command::Compare, RunCompare, "compare", ReceiverOptions, 1, 1, "compare [--port P] FILE",
     "compare the receiver's EEPROM with FILE",
     "Reads the receiver's EEPROM and compares it with the first 128 bytes of FILE.\n"
     "Exit status 0 when they are identical; 1 when they differ, after printing how\n"
     "many bytes differ and each differing address with the receiver's byte and the\n"
     "file's.\n"},
    {Command::Write, RunWrite, "write", ReceiverOptions | OptionYes, 1, 1, "write [--port P] [--yes] FILE",
     "write FILE into the receiver's EEPROM",
     "Writes the first 128 bytes of FILE into the receiver's EEPROM, reading every\n"
     "byte back to check it. A file shorter than 128 bytes is refused before anything\n"
     "is sent. Asks for confirmation on the terminal; without a terminal on standard\n"
     "input it refuses unless --yes is given.\n"},
    {Command::Medium, RunMedium, "medium", ReceiverOptions | OptionYes, 0, 0, "medium [--port P] [--yes]",
     "write the built-in medium values",
     "Writes the built-in medium values into the receiver's EEPROM, for a receiver\n"
     "whose own values are lost; every byte is read back to check it. Asks for\n"
     "confirmation like write.\n"},
    {Command::Dump, RunDump, "dump", 0, 1, 1, "dump FILE", "show an image file in hex",
     "Prints the first 128 bytes of an image file in hexadecimal, 16 to a row, each\n"
     "row headed by its first address. Needs no receiver.\n"},
    {Command::Diff, RunDiff, "diff", 0, 2, 2, "diff FILE1 FILE2", "compare two image files",
     "Compares the first 128 bytes of two image files. Exit status 0 when they are\n"
     "identical; 1 when they differ, after printing how many bytes differ and each\n"
     "differing address with the byte of FILE1 and of FILE2. Needs no receiver.\n"},
    {Command::Help, nullptr, "help", 0, 0, 1, "help [COMMAND]", "show the help of qlr5500 or of a command", ""},
}};

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view OptionName(unsigned option) {
  switch (option) {
    case OptionPort: return "--port";
    case OptionYes: return "--yes";
    case OptionAll: return "--all";
    case OptionNoClobber: return "--no-clobber";
  }
  return "";
}

std::string OperandMistake(const CommandInfo& info, std::size_t given) {
  const std::string name(info.name);
  if (static_cast<int>(given) < info.minOperands) {
    return name + (info.minOperands == 2 ? " needs two files" : " needs a file");
  }
  if (info.maxOperands == 0) return name + " takes no file";
  return name + (info.maxOperands == 2 ? " takes two files" : " takes one file") + ", not " + std::to_string(given);
}

}  // namespace

std::span<const CommandInfo> Commands() { return CommandTable; }

const CommandInfo* FindCommand(std::string_view name) {
  for (const CommandInfo& info : CommandTable) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

const CommandInfo& InfoFor(Command command) {
  for (const CommandInfo& info : CommandTable) {
    if (info.command == command) return info;
  }
  return CommandTable.back();
}

std::optional<PortSpec> ParsePortSpec(std::string_view text, std::string& error) {
  if (text.empty()) {
    error = "--port needs a port number 1..16 or a device";
    return std::nullopt;
  }
  if (AllDigits(text)) {
    // Compared as text first so that a long number cannot overflow.
    const std::string_view trimmed = text.substr(std::min(text.find_first_not_of('0'), text.size()));
    const int number = trimmed.size() <= 2 ? std::stoi("0" + std::string(trimmed)) : 0;
    if (number < 1 || number > 16) {
      error = "port " + std::string(text) + " does not exist: port numbers are 1 to 16";
      return std::nullopt;
    }
    return PortSpec{number, {}};
  }
  return PortSpec{0, DeviceOfName(text)};
}

ParseOutcome ParseArguments(const std::vector<std::string>& arguments) {
  ParseOutcome outcome;
  Invocation& call = outcome.invocation;
  const CommandInfo* info = nullptr;
  unsigned given = 0;
  std::string mistake;
  const auto note = [&mistake](std::string text) {
    if (mistake.empty()) mistake = std::move(text);
  };
  const auto flag = [&](unsigned option, bool& field) {
    if (field) note(std::string(OptionName(option)) + " given twice");
    field = true;
    given |= option;
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const bool isOption = !optionsEnded && word.size() > 1 && word[0] == '-';
    if (!isOption) {
      if (call.command == Command::None) {
        info = FindCommand(word);
        if (!info) {
          note("unknown command '" + word + "'");
          continue;
        }
        call.command = info->command;
        if (call.command == Command::Help) call.help = true;
      } else {
        call.operands.push_back(word);
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
    } else if (word == "-h" || word == "--help") {
      call.help = true;
    } else if (word == "--version") {
      call.version = true;
    } else if (word == "-y" || word == "--yes") {
      flag(OptionYes, call.yes);
    } else if (word == "--all") {
      flag(OptionAll, call.all);
    } else if (word == "-n" || word == "--no-clobber") {
      flag(OptionNoClobber, call.noClobber);
    } else if (word == "-p" || word == "--port" || word.rfind("--port=", 0) == 0) {
      std::string value;
      if (word.size() > 6 && word[6] == '=') {
        value = word.substr(7);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        note(word + " needs a port number 1..16 or a device");
        continue;
      }
      if (call.port) note("--port given twice");
      given |= OptionPort;
      std::string error;
      call.port = ParsePortSpec(value, error);
      if (!call.port) note(error);
    } else {
      note("unknown option '" + word + "'");
    }
  }

  if (mistake.empty() && info) {
    for (const unsigned option : {OptionPort, OptionYes, OptionAll, OptionNoClobber}) {
      if ((given & option) && !(info->options & option)) {
        note(std::string(info->name) + " does not take " + std::string(OptionName(option)));
      }
    }
    const std::size_t count = call.operands.size();
    // A help request is answered whatever else the line holds.
    const bool countMatters = !call.help || call.command == Command::Help;
    if (countMatters && (static_cast<int>(count) < info->minOperands || static_cast<int>(count) > info->maxOperands)) {
      note(OperandMistake(*info, count));
    }
    if (call.command == Command::Help && count == 1 && !FindCommand(call.operands[0])) {
      note("unknown command '" + call.operands[0] + "'");
    }
  }
  if (mistake.empty() && call.command == Command::None && !call.help && !call.version) note("no command given");
  outcome.error = std::move(mistake);
  return outcome;
}

}  // namespace qlr::cli
