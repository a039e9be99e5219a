// The command line of qlr5500: which subcommand, with which options and files.
//
// ParseArguments only reads the words it is given, against the commands and
// options of a CommandTable (registry.h holds the tool's own); it opens
// nothing and prints nothing. Every mistake it finds is a usage error (exit
// status 2).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlr::cli {

struct Options;
struct CommandContext;

// Records an option's value in `options`; false, with `error` set, for a value it refuses.
using OptionValueStore = bool (*)(std::string_view value, Options& options, std::string& error);

// One option a subcommand may take. -h/--help, --version and -- are the
// parser's own and mean the same for every command.
struct OptionSpec {
  std::string_view longName;       // "--port"
  std::string_view shortName{};    // "-p", or empty
  std::string_view valueName{};    // "P" for an option with a value: "--port P", "--port=P"
  std::string_view valueNeeded{};  // "a port number 1..16 or a device": what a missing or empty value should have been
  std::string help;                // for --help; several lines are indented under the first
  bool Options::*flag = nullptr;   // a flag: set when given
  OptionValueStore store = nullptr;  // an option with a value: parses and keeps it
};

// Runs a subcommand (commands/commands.h) in the context set up for it and
// returns the exit status.
using CommandHandler = int (*)(const CommandContext& context);

// What a command needs set up before its handler runs
// (commands/command_context.h does it), one bit each.
enum Needs : unsigned {
  NeedsNothing = 0,
  NeedsPorts = 1u << 0,         // the port map, read once
  NeedsHistory = 1u << 1,       // the backup folder and its history; without a folder the command ends
  WarnsOfCutChanges = 1u << 2,  // the changes cut short named first (silent without a backup folder)
  KeepsBackups = 1u << 3,       // the backup folder made, unless --no-backup; a failure ends the command
  UndoesAChange = 1u << 4,      // its operand names a change, which WarnsOfCutChanges leaves out
};

struct CommandSpec {
  std::string_view name;
  std::string_view operands{};               // for the synopsis: "FILE", "FILE1 FILE2", "[N]"
  std::vector<const OptionSpec*> options{};  // none: the command takes only --help
  int minOperands = 0;
  int maxOperands = 0;
  std::string_view summary;           // one line for the command list
  std::string_view details{};         // the rest of the command's --help
  CommandHandler run = nullptr;       // null for "help": its operand names a command, and the tool answers it
  unsigned needs = NeedsNothing;      // Needs, or-ed
  std::string_view operand = "file";  // what an operand is, for mistakes and for completion

  bool IsHelp() const { return run == nullptr; }
  bool TakesFiles() const { return maxOperands > 0 && operand == "file"; }
  bool Takes(const OptionSpec& option) const;
  // After "qlr5500 ": the name, each option in brackets, the operands.
  std::string Synopsis() const;
};

struct CommandTable {
  // In the order a command's "does not take" mistakes are reported.
  std::vector<const OptionSpec*> options;
  // In the order --help lists them.
  std::vector<CommandSpec> commands;

  const CommandSpec* Find(std::string_view name) const;
};

// Where the receiver is: a port number 1..16 of the port map, or a device.
struct PortSpec {
  int number = 0;      // 1..16, or 0 when `device` names the device
  std::string device;  // a path; a bare name such as "ttyUSB0" means /dev/ttyUSB0
};

// A device to show in help, as users of this system know them.
extern const char* const ExampleDevice;
// Where backups are kept when no --backup-dir is given, for help.
extern const char* const DefaultBackupFolder;

// "3" is port 3, "/dev/ttyUSB0" and "ttyUSB0" are that device. Empty on a
// mistake, which is then described in `error`.
std::optional<PortSpec> ParsePortSpec(std::string_view text, std::string& error);

// The options given; each option of the table has its field here.
struct Options {
  std::optional<PortSpec> port;
  bool yes = false;
  bool all = false;
  bool noClobber = false;
  std::optional<std::string> backupDir;  // --backup-dir, as given (UTF-8)
  bool noBackup = false;
  bool porcelain = false;
  bool force = false;
  std::optional<std::string> trace;  // --trace, the file as given (UTF-8)
};

// What the command line asks for.
struct Invocation : Options {
  const CommandSpec* command = nullptr;  // a row of the table parsed against
  bool help = false;                     // --help, or the "help" subcommand
  bool version = false;                  // --version
  std::vector<std::string> operands;     // the files, or the subcommand that "help" is about
};

struct ParseOutcome {
  Invocation invocation;
  std::string error;  // empty when the command line is sound
};

// `arguments` are the words after the program's name. The outcome points
// into `table`, which must outlive it.
ParseOutcome ParseArguments(const std::vector<std::string>& arguments, const CommandTable& table);

}  // namespace qlr::cli
