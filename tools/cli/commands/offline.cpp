// Subcommands that need no receiver: the port map and image files.
#include "cli/command_line/exit_codes.h"
#include "cli/commands/commands.h"
#include "cli/commands/image_input.h"
#include "cli/commands/port_listing.h"
#include "cli/output/formatting.h"
#include "cli/output/messages.h"

namespace qlr::cli {

int RunPorts(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const std::vector<PortInfo> ports = DescribedPorts(context.ports);
  if (ports.empty()) {
    Tell(env) << "no serial ports found (QLR5500_PORTS=dev1" << PortsSeparator << "dev2" << PortsSeparator
              << "... names them by hand)\n";
    return ExitSuccess;
  }
  env.out << FormatPortTable(ports);
  return ExitSuccess;
}

int RunDump(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  EepromImage image{};
  if (!LoadImageForCommand(context.operands[0], image, env)) return ExitFile;
  env.out << FormatHexDump(image);
  return ExitSuccess;
}

int RunDiff(const CommandContext& context) {
  const CliEnvironment& env = context.env;
  const std::string& first = context.operands[0];
  const std::string& second = context.operands[1];
  EepromImage a{};
  EepromImage b{};
  if (!LoadImageForCommand(first, a, env) || !LoadImageForCommand(second, b, env)) return ExitFile;
  const int count = CountDifferences(a, b);
  if (count == 0) {
    env.out << first << " and " << second << " are identical\n";
    return ExitSuccess;
  }
  env.out << first << " and " << second << " differ in " << count << (count == 1 ? " byte\n" : " bytes\n")
          << FormatDifferences(a, b, "file1", "file2");
  return ExitDifferent;
}

}  // namespace qlr::cli
