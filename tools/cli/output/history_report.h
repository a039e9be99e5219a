// What qlr5500 says about the history of changes: the list of 'qlr5500
// history', its form for scripts, and the warning about changes cut short
// that every command talking to a receiver gives.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/history.h"
#include "cli/cli.h"

namespace qlr::cli {

// A line naming the folder, then each change on two lines, newest first:
// number, time, what, where, how many bytes, the outcome; its backup.
// The undo it names for a change cut short has the --backup-dir given.
std::string FormatHistory(const History& history, const std::filesystem::path& folder,
                          const std::optional<std::string>& backupDir);

// One line per change, newest first, tab-separated: number, time, command,
// argument (write: the file; undo: the backup name of the change undone),
// device, region code, bytes changed, outcome (done, failed, cut,
// in-progress), the address a failure stopped at (-1: none), the backup
// file, and its state (kept, deleted, altered). Text fields are escaped as
// the log escapes them (\t, \n, \\, \xHH).
std::string FormatHistoryPorcelain(const History& history, const std::filesystem::path& folder);

// The command that undoes change `number`: "qlr5500 undo 3", with the
// --backup-dir given.
std::string UndoCommand(int number, const std::optional<std::string>& backupDir);

// Warns on env.err of each of `cut`, changes of `history` cut short, with
// the undo that puts back the values from before it.
void ReportCutChanges(const std::vector<const Change*>& cut, const History& history,
                      const std::optional<std::string>& backupDir, const CliEnvironment& env);

}  // namespace qlr::cli
