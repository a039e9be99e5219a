#include "cli/registry.h"

#include "cli/commands.h"

namespace qlr::cli {
namespace {

bool StorePort(std::string_view text, Invocation& call, std::string& error) {
  call.port = ParsePortSpec(text, error);
  return call.port.has_value();
}

}  // namespace

const CommandTable& Registry() {
  // Each option keeps what it was given in a field of Invocation.
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
      .longName = "--yes", .shortName = "-y", .help = "write without asking", .flag = &Invocation::yes};
  static const OptionSpec all{
      .longName = "--all", .help = "try every port and list every receiver that answers", .flag = &Invocation::all};
  static const OptionSpec noClobber{.longName = "--no-clobber",
                                    .shortName = "-n",
                                    .help = "refuse to replace an existing FILE",
                                    .flag = &Invocation::noClobber};

  static const CommandTable table{
      .options = {&port, &yes, &all, &noClobber},
      .commands = {
          {.name = "ports",
           .synopsis = "ports",
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "list the serial ports and what they are",
           .details = "Lists the port map: each port number 1..16 that has a device, the device, and what\n"
                      "the machine says the device is (a USB adapter's vendor:product and name).\n"
                      "QLR5500_PORTS, a colon-separated list of devices, replaces the map.\n",
           .run = RunPorts},
          {.name = "find",
           .synopsis = "find [--all]",
           .options = {&all},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "find the port the receiver is on",
           .details = "Scans ports 1 to 16 for a receiver and prints the first port that answers: its\n"
                      "number, then its device. With --all, every port is tried and each one with a\n"
                      "receiver is printed on a line of its own. Exit status 3 when no receiver answers.\n",
           .run = RunFind},
          {.name = "doctor",
           .synopsis = "doctor [--port P]",
           .options = {&port},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "tell why the receiver does not answer, or answers slowly",
           .details = "Checks the serial ports and USB adapters, who may open a port and who holds it,\n"
                      "the services that take adapters away, then tries the ports for the receiver and\n"
                      "times its answers. Prints a checklist: one line per finding, each problem with\n"
                      "its fix. Never writes the EEPROM and never changes a setting itself. Exit status\n"
                      "0 when a receiver answered at full speed, 1 when it answered but something\n"
                      "needs fixing, 3 when none could be reached.\n",
           .run = RunDoctor},
          {.name = "region",
           .synopsis = "region [--port P]",
           .options = {&port},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "show the receiver's region",
           .details = "Prints the receiver's region code, then its name (JAPAN, USA, EUR/AUS, ...);\n"
                      "a code that has no name prints \"unknown\".\n",
           .run = RunRegion},
          {.name = "read",
           .synopsis = "read [--port P] [--no-clobber] FILE",
           .options = {&port, &noClobber},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "save the receiver's EEPROM in FILE",
           .details = "Reads the receiver's 128-byte EEPROM and saves it in FILE, raw, 128 bytes.\n"
                      "FILE only ever appears complete: when anything fails, an existing FILE keeps\n"
                      "its contents and no new file is left behind.\n",
           .run = RunRead},
          {.name = "compare",
           .synopsis = "compare [--port P] FILE",
           .options = {&port},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "compare the receiver's EEPROM with FILE",
           .details = "Reads the receiver's EEPROM and compares it with the first 128 bytes of FILE.\n"
                      "Exit status 0 when they are identical; 1 when they differ, after printing how\n"
                      "many bytes differ and each differing address with the receiver's byte and the\n"
                      "file's.\n",
           .run = RunCompare},
          {.name = "write",
           .synopsis = "write [--port P] [--yes] FILE",
           .options = {&port, &yes},
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "write FILE into the receiver's EEPROM",
           .details = "Writes the first 128 bytes of FILE into the receiver's EEPROM, reading every\n"
                      "byte back to check it. A file shorter than 128 bytes is refused before anything\n"
                      "is sent. Asks for confirmation on the terminal; without a terminal on standard\n"
                      "input it refuses unless --yes is given.\n",
           .run = RunWrite},
          {.name = "medium",
           .synopsis = "medium [--port P] [--yes]",
           .options = {&port, &yes},
           .minOperands = 0,
           .maxOperands = 0,
           .summary = "write the built-in medium values",
           .details = "Writes the built-in medium values into the receiver's EEPROM, for a receiver\n"
                      "whose own values are lost; every byte is read back to check it. Asks for\n"
                      "confirmation like write.\n",
           .run = RunMedium},
          {.name = "dump",
           .synopsis = "dump FILE",
           .minOperands = 1,
           .maxOperands = 1,
           .summary = "show an image file in hex",
           .details = "Prints the first 128 bytes of an image file in hexadecimal, 16 to a row, each\n"
                      "row headed by its first address. Needs no receiver.\n",
           .run = RunDump},
          {.name = "diff",
           .synopsis = "diff FILE1 FILE2",
           .minOperands = 2,
           .maxOperands = 2,
           .summary = "compare two image files",
           .details = "Compares the first 128 bytes of two image files. Exit status 0 when they are\n"
                      "identical; 1 when they differ, after printing how many bytes differ and each\n"
                      "differing address with the byte of FILE1 and of FILE2. Needs no receiver.\n",
           .run = RunDiff},
          // No handler: "help" is answered by the tool itself, from this table.
          {.name = "help",
           .synopsis = "help [COMMAND]",
           .minOperands = 0,
           .maxOperands = 1,
           .summary = "show the help of qlr5500 or of a command"},
      }};
  return table;
}

}  // namespace qlr::cli
