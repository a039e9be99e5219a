// What qlr5500 says about the history of changes: the list of 'qlr5500
// history', its form for scripts, and the warning about changes cut short
// that every command talking to a receiver gives.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "backup/history.h"
#include "cli/command_line/arguments.h"
#include "cli/cli.h"

namespace qlr::cli {

// A line naming the folder, then each change on two lines, newest first:
// number, time, what, where, how many bytes, the outcome; its backup.
// The undo it names for a change cut short has the --backup-dir of `call`.
std::string FormatHistory(const History& history, const std::filesystem::path& folder, const Invocation& call);

// One line per change, newest first, tab-separated: number, time, command,
// argument (write: the file; undo: the backup name of the change undone),
// device, region code, bytes changed, outcome (done, failed, cut,
// in-progress), the address a failure stopped at (-1: none), the backup
// file, and its state (kept, deleted, altered). Text fields are escaped as
// the log escapes them (\t, \n, \\, \xHH).
std::string FormatHistoryPorcelain(const History& history, const std::filesystem::path& folder);

// The command that undoes change `number`: "qlr5500 undo 3", with the
// --backup-dir that `call` was given.
std::string UndoCommand(int number, const Invocation& call);

// Warns on env.err of each change cut short that no later change settled,
// but the change whose backup is `except`.
void ReportCutChanges(const History& history, const Invocation& call, const CliEnvironment& env,
                      std::string_view except = {});

// The same from the folder `call` names or the default one, for a command
// that only reads the receiver; silent when there is no such folder.
void ReportCutChanges(const Invocation& call, const CliEnvironment& env);

// The --backup-dir of `call` as a path.
std::optional<std::filesystem::path> ChosenBackupFolder(const Invocation& call);

}  // namespace qlr::cli
