#include "cli/command_line/registry.h"

#include "cli/commands/commands.h"

namespace qlr::cli {
namespace {

bool StorePort(std::string_view text, Options& options, std::string& error) {
  options.port = ParsePortSpec(text, error);
  return options.port.has_value();
}

// An option whose value is kept as given: a folder, a file.
template <std::optional<std::string> Options::*field>
bool StoreText(std::string_view text, Options& options, std::string&) {
  options.*field = std::string(text);
  return true;
}

}  // namespace

const CommandTable& Registry() {
  // Each option keeps what it was given in a field of Options.
  static const OptionSpec port{
      .longName = "--port",
      .shortName = "-p",
      .valueName = "P",
      .valueNeeded = "a port number 1..16 or a device",
      .help = std::string("the receiver's port: a number 1..16 (see 'qlr5500 ports') or a\n"
                          "device such as ") +
              ExampleDevice +
              ". Without it the ports are scanned,\n"
              "which works when exactly one receiver answers.",
      .store = StorePort,
  };
  static const OptionSpec yes{
      .longName = "--yes", .shortName = "-y", .help = "write without asking", .flag = &Options::yes};
  static const OptionSpec all{
      .longName = "--all", .help = "try every port and list every receiver that answers", .flag = &Options::all};
  static const OptionSpec noClobber{.longName = "--no-clobber",
                                    .shortName = "-n",
                                    .help = "refuse to replace an existing FILE",
                                    .flag = &Options::noClobber};

  static const OptionSpec backupDir{
      .longName = "--backup-dir",
      .valueName = "DIR",
      .valueNeeded = "a folder",
      .help = std::string("keep backups and their history in DIR, and look for them there,\n"
                          "instead of ") +
              DefaultBackupFolder,
      .store = StoreText<&Options::backupDir>,
  };
  static const OptionSpec noBackup{.longName = "--no-backup",
                                   .help =
                                       "write all 128 bytes without reading them first: no backup,\n"
                                       "nothing in the history",
                                   .flag = &Options::noBackup};
  static const OptionSpec porcelain{
      .longName = "--porcelain", .help = "tab-separated columns for scripts", .flag = &Options::porcelain};
  static const OptionSpec trace{
      .longName = "--trace",
      .valueName = "FILE",
      .valueNeeded = "a file",
      .help =
          "write each command sent to the receiver and each line it sent\n"
          "back into FILE, with its time and the line settings, to send\n"
          "with a report of odd behaviour",
      .store = StoreText<&Options::trace>,
  };
  static const OptionSpec force{.longName = "--force",
                                .help = "with --yes: undo a change into another receiver, or one of another region",
                                .flag = &Options::force};

  static const CommandTable table{
      .options = {&port, &yes, &all, &noClobber, &noBackup, &force, &porcelain, &backupDir, &trace},
      .commands = {
          {.name = "ports",
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "list the serial ports and what they are",
           .details = "Lists the port map: each port number 1..16 that has a device, the device, and what\n"
                      "the machine says the device is (a USB adapter's vendor:product and name).\n"
                      "QLR5500_PORTS, a colon-separated list of devices, replaces the map.\n",
           .run = RunPorts,
           .needs = NeedsPorts},
          {.name = "find",
           .options = {&all, &backupDir, &trace},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "find the port the receiver is on",
           .details = "Scans ports 1 to 16 for a receiver and prints the first port that answers: its\n"
                      "number, then its device. With --all, every port is tried and each one with a\n"
                      "receiver is printed on a line of its own. Exit status 3 when no receiver answers.\n",
           .run = RunFind,
           .needs = NeedsPorts | WarnsOfCutChanges},
          {.name = "doctor",
           .options = {&port, &backupDir, &trace},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "tell why the receiver does not answer, or answers slowly",
           .details = "Checks the serial ports and USB adapters, who may open a port and who holds it,\n"
                      "the services that take adapters away, then tries the ports for the receiver and\n"
                      "times its answers. Prints a checklist: one line per finding, each problem with\n"
                      "its fix. Never writes the EEPROM and never changes a setting itself. Exit status\n"
                      "0 when a receiver answered at full speed, 1 when it answered but something\n"
                      "needs fixing, 3 when none could be reached.\n",
           .run = RunDoctor,
           .needs = NeedsPorts | WarnsOfCutChanges},
          {.name = "region",
           .options = {&port, &backupDir, &trace},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "show the receiver's region",
           .details = "Prints the receiver's region code, then its name (JAPAN, USA, EUR/AUS, ...);\n"
                      "a code that has no name prints \"unknown\".\n",
           .run = RunRegion,
           .needs = NeedsPorts | WarnsOfCutChanges},
          {.name = "read",
           .operands = "FILE",
           .options = {&port, &noClobber, &backupDir, &trace},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "save the receiver's EEPROM in FILE",
           .details = "Reads the receiver's 128-byte EEPROM and saves it in FILE, raw, 128 bytes.\n"
                      "FILE only ever appears complete: when anything fails, an existing FILE keeps\n"
                      "its contents and no new file is left behind.\n",
           .run = RunRead,
           .needs = NeedsPorts | WarnsOfCutChanges},
          {.name = "compare",
           .operands = "FILE",
           .options = {&port, &backupDir, &trace},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "compare the receiver's EEPROM with FILE",
           .details = "Reads the receiver's EEPROM and compares it with the first 128 bytes of FILE.\n"
                      "Exit status 0 when they are identical; 1 when they differ, after printing how\n"
                      "many bytes differ and each differing address with the receiver's byte and the\n"
                      "file's.\n",
           .run = RunCompare,
           .needs = NeedsPorts | WarnsOfCutChanges},
          {.name = "write",
           .operands = "FILE",
           .options = {&port, &yes, &noBackup, &backupDir, &trace},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "write FILE into the receiver's EEPROM",
           .details = "Writes the first 128 bytes of FILE into the receiver's EEPROM. First it reads the\n"
                      "EEPROM and keeps it as a backup, recorded in the history ('qlr5500 history',\n"
                      "'qlr5500 undo'); then it writes only the bytes that differ, reading each back to\n"
                      "check it. When the EEPROM already holds FILE nothing is written. A file shorter\n"
                      "than 128 bytes is refused before anything is sent. Shows what will change and\n"
                      "asks for confirmation on the terminal; without a terminal on standard input it\n"
                      "refuses unless --yes is given. With --no-backup it writes all 128 bytes\n"
                      "without reading them first and keeps nothing.\n",
           .run = RunWrite,
           .needs = NeedsPorts | WarnsOfCutChanges | KeepsBackups},
          {.name = "medium",
           .options = {&port, &yes, &noBackup, &backupDir, &trace},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "write the built-in medium values",
           .details = "Writes the built-in medium values into the receiver's EEPROM, for a receiver\n"
                      "whose own values are lost, with a backup first and every byte written read back\n"
                      "to check it, as write does. Asks for confirmation like write.\n",
           .run = RunMedium,
           .needs = NeedsPorts | WarnsOfCutChanges | KeepsBackups},
          {.name = "history",
           .options = {&porcelain, &backupDir},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "list the changes made, newest first",
           .details = "Lists the changes that write, medium and undo made, newest first, each with the\n"
                      "number it keeps for ever (the first is 1): when, what, on which device and region,\n"
                      "how many bytes changed, the outcome, and the backup of the values from before. A\n"
                      "change that may have left the EEPROM partly written (cut short, or failed\n"
                      "part-way) is marked, settled or with the undo that brings back whole values; so\n"
                      "is a backup file deleted, altered, unreadable or replaced since, with what to do.\n"
                      "Damaged lines of the history are skipped and named. Needs no receiver.\n",
           .run = RunHistory,
           .needs = NeedsHistory},
          {.name = "undo",
           .operands = "[N]",
           .options = {&port, &yes, &force, &backupDir, &trace},
           .minOperands = 0,
           .maxOperands = 1,
           .summary = "put back the values from before change N",
           .details = "Writes back what the EEPROM held before change N of 'qlr5500 history' (the\n"
                      "newest by default) into the receiver it was made on, as write does: a backup\n"
                      "first, then the differing bytes. A backup file that differs from the history's\n"
                      "copy of it, cannot be read or is no regular file is refused; a deleted one is\n"
                      "no obstacle, the history's copy is written. Another receiver (--port), or one of another "
                      "region, needs a second\n"
                      "confirmation, or --force with --yes.\n",
           .run = RunUndo,
           .needs = NeedsPorts | NeedsHistory | WarnsOfCutChanges | KeepsBackups | UndoesAChange,
           .operand = "change number"},
          {.name = "dump",
           .operands = "FILE",
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "show an image file in hex",
           .details = "Prints the first 128 bytes of an image file in hexadecimal, 16 to a row, each\n"
                      "row headed by its first address. Needs no receiver.\n",
           .run = RunDump},
          {.name = "diff",
           .operands = "FILE1 FILE2",
           .minOperands = 2,
           .maxOperands = 2,
           .summary = "compare two image files",
           .details = "Compares the first 128 bytes of two image files. Exit status 0 when they are\n"
                      "identical; 1 when they differ, after printing how many bytes differ and each\n"
                      "differing address with the byte of FILE1 and of FILE2. Needs no receiver.\n",
           .run = RunDiff},
          // No handler: "help" is answered by the tool itself, from this table.
          {.name = "help",
           .operands = "[COMMAND]",
           .minOperands = 0,
           .maxOperands = 1,
           .summary = "show the help of qlr5500 or of a command",
           .operand = "command"},
      }};
  return table;
}

}  // namespace qlr::cli
