// What a subcommand works with, set up once before its handler runs, as
// its row of the registry asks (CommandSpec::needs): the port map read once,
// the backup folder found (and made, for a command that keeps backups), its
// history read, the changes cut short named first, and the --trace file
// made. The environment comes from the CliEnvironment, read once by main;
// nothing below asks the process.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/history.h"
#include "cli/cli.h"
#include "cli/command_line/arguments.h"
#include "cli/output/trace_file.h"
#include "link/port_map.h"
#include "link/receiver_link.h"

namespace qlr::cli {

struct CommandContext {
  const CliEnvironment& env;  // the streams, the terminals, the variables
  const Options& options;
  const std::vector<std::string>& operands;
  PortMap ports{};                        // NeedsPorts
  std::optional<BackupFolder> backups{};  // found (NeedsHistory, WarnsOfCutChanges), made (KeepsBackups)
  History history{};                      // of `backups`, when there is one
  std::unique_ptr<TraceFile> trace{};     // --trace, when given

  // The one way a handler makes a link: on the port map, traced when asked.
  CReceiverLink Link() const { return CReceiverLink(env.systemCalls, &ports, trace.get()); }
};

// Sets up what `command` needs. Nothing, and the exit status to end with,
// when the setup failed (it has said why on env.err).
struct SetUp {
  std::optional<CommandContext> context;
  int exitCode = 0;
};
SetUp SetUpCommand(const CommandSpec& command, const Invocation& call, const CliEnvironment& env);

// After the handler: says on env.err when the trace could not be written
// whole, so that nobody sends part of one for all of it.
void ReportIncompleteTrace(const CommandContext& context);

}  // namespace qlr::cli
