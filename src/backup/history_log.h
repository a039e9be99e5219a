// The history log: a file in the backup folder that only ever grows, one
// record a line (history_record.h).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"

namespace qlr {

// The log of a backup folder.
std::filesystem::path HistoryLogPath(const std::filesystem::path& folder);

// Appends `line` (one record with its '\n') with one write to the log
// opened for appending (POSIX O_APPEND, Windows FILE_APPEND_DATA) and
// flushes it to disk, so that a crash leaves at most one short last line
// and two processes appending at once never mix their lines. A short last
// line gets its end in the same write, so that the record starts a line
// of its own. `log` is HistoryLogPath(folder.path). Creates the log when
// missing (its folder entry flushed too), given to the folder's user where
// root keeps it for them; refuses anything but a regular file (a symbolic
// link too) in its place, and a log CheckBackupFolder would refuse.
BackupResult<> AppendToLog(const std::filesystem::path& log, std::string_view line, const BackupFolder& folder);

// The whole log as text; empty when there is none, it cannot be read, or
// it is no regular file (never waits on a FIFO).
std::string ReadLogText(const std::filesystem::path& log);

}  // namespace qlr
