// What qlr5500 says about the state of a change's backup file: its word for
// scripts, and for a user what is wrong with it and what to do next.
#pragma once

#include <filesystem>
#include <string>

#include "backup/history.h"

namespace qlr::cli {

// kept, deleted, altered, unreadable, not-a-file.
const char* BackupStateWord(BackupState state);

// What 'qlr5500 history' adds after the backup `file`: "" when it is kept,
// otherwise what is wrong and what undo does, in parentheses.
std::string BackupStateNote(BackupState state, const std::filesystem::path& file);

// Why undo writes nothing for a backup `file` in `state` (altered,
// unreadable, not a regular file), with the step that lets it go on.
std::string BackupRefusal(BackupState state, const std::filesystem::path& file);

}  // namespace qlr::cli
