// Why a backup could not be kept or a change not recorded, as a closed set
// of kinds.
//
// The backup folder, the history and the change lock return a BackupResult
// (os/result.h), which carries a BackupFailure when they fail. Callers decide
// from the kind alone; the text is for messages, never to be parsed.
#pragma once

#include <string>

#include "os/result.h"

namespace qlr {

enum class BackupFailureKind {
  None,           // nothing failed: the Failure() of a successful result
  NoDataFolder,   // there is no folder to keep backups in: no home, or a home that does not exist
  FolderRefused,  // the backup folder, or one above it, could not be made, or is no folder
  Untrusted,      // the folder or its history is another user's, others may write it, or a link leads to it
  BackupRefused,  // the backup file could not be written whole
  NameTaken,      // a file of the backup's name exists already: the caller tries another name
  LogRefused,     // the history could not be appended to
  LockRefused,    // the change's lock could not be taken
};

struct BackupFailure {
  BackupFailureKind kind = BackupFailureKind::None;
  // What failed, for a user: "cannot make /x/backups (Permission denied)".
  std::string what{};
};

template <typename Value = void>
using BackupResult = Result<Value, BackupFailure>;

// "<what> (<the system's reason>)", or `what` alone for 0.
std::string WithReason(std::string what, int sysErrno);

}  // namespace qlr
