// The command line of qlr5500: which subcommand, with which options and files.
//
// ParseArguments only reads the words it is given; it opens nothing and
// prints nothing. Every mistake it finds is a usage error (exit status 2).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qlr::cli {

enum class Command { None, Help, Ports, Find, Region, Read, Compare, Write, Medium, Dump, Diff };

// Options a subcommand may take, as bits.
enum Option : unsigned {
  OptionPort = 1u << 0,       // --port P
  OptionYes = 1u << 1,        // --yes
  OptionAll = 1u << 2,        // --all
  OptionNoClobber = 1u << 3,  // --no-clobber
};

struct Invocation;
struct CliEnvironment;

// Runs a subcommand (commands.h) and returns the exit status.
using CommandHandler = int (*)(const Invocation& call, const CliEnvironment& env);

struct CommandInfo {
  Command command;
  CommandHandler run;  // null for "help", which the tool answers itself
  std::string_view name;
  unsigned options;  // Option bits
  int minOperands;
  int maxOperands;
  std::string_view synopsis;  // after "qlr5500 "
  std::string_view summary;   // one line for the command list
  std::string_view details;   // the rest of the command's --help
};

// Every subcommand, in the order --help lists them.
std::span<const CommandInfo> Commands();
const CommandInfo* FindCommand(std::string_view name);
const CommandInfo& InfoFor(Command command);

// Where the receiver is: a port number 1..16 of the port map, or a device.
struct PortSpec {
  int number = 0;      // 1..16, or 0 when `device` names the device
  std::string device;  // a path; a bare name such as "ttyUSB0" means /dev/ttyUSB0
};

// A device to show in help, as users of this system know them.
extern const char* const ExampleDevice;

// "3" is port 3, "/dev/ttyUSB0" and "ttyUSB0" are that device. Empty on a
// mistake, which is then described in `error`.
std::optional<PortSpec> ParsePortSpec(std::string_view text, std::string& error);

struct Invocation {
  Command command = Command::None;
  bool help = false;     // --help, or the "help" subcommand
  bool version = false;  // --version
  std::optional<PortSpec> port;
  bool yes = false;
  bool all = false;
  bool noClobber = false;
  std::vector<std::string> operands;  // the files, or the subcommand that "help" is about
};

struct ParseOutcome {
  Invocation invocation;
  std::string error;  // empty when the command line is sound
};

// `arguments` are the words after the program's name.
ParseOutcome ParseArguments(const std::vector<std::string>& arguments);

}  // namespace qlr::cli
