// What qlr5500 says about the history of changes: the list of 'qlr5500
// history', its form for scripts, and the warning about changes cut short
// that every command talking to a receiver gives.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/history.h"
#include "change/cut_changes.h"
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
// file, its state (kept, deleted, altered, unreadable, not-a-file), whether a change that may have
// left the EEPROM partly written is settled (settled, unsettled; - for any
// other), and the number of the undo that undid it (-: none). Text fields
// are escaped as the log escapes them (\t, \n, \\, \xHH).
std::string FormatHistoryPorcelain(const History& history, const std::filesystem::path& folder);

// The command that undoes change `number`: "qlr5500 undo 3", with the
// --backup-dir given, quoted for the shell.
std::string UndoCommand(int number, const std::optional<std::string>& backupDir);

// Warns on env.err of each unsettled change of `history`, with the undo
// that brings back the last whole values of its receiver.
void ReportCutChanges(const std::vector<UnsettledChange>& unsettled, const History& history,
                      const std::optional<std::string>& backupDir, const CliEnvironment& env);

}  // namespace qlr::cli
