// Telling a user what failed and what it left behind, in words they can act
// on: the link's failures, a transfer cut off half-way, a backup that could
// not be kept. Each returns the exit status the command ends with.
#pragma once

#include <optional>
#include <string>

#include "backup/backup_failure.h"
#include "cli/cli.h"
#include "link/link_failure.h"

namespace qlr::cli {

// What a failure of the link means, on `device` (port `port`).
std::string LinkFailureText(const LinkFailure& failure, const std::string& device, int port);

// "qlr5500: <what the failure means>"; returns ExitReceiver.
int ReportLinkFailure(const LinkFailure& failure, const std::string& device, int port, const CliEnvironment& env);

// What a failed write had been asked to write: `count` bytes, called
// `noun` ("bytes", "changed bytes"), and the command that puts back what
// was there before, when a backup was kept.
struct WriteScope {
  int count = 0;
  std::string noun = "bytes";
  std::optional<std::string> undo{};  // "'qlr5500 undo 3' puts back the values from before, kept in ..."
};

// A failed transfer and what it left behind: the receiver possibly still in
// service mode, and for a write (`written` given) how much of the EEPROM
// was written. Returns ExitReceiver.
int ReportTransferFailure(const LinkFailure& failure, const std::string& device, int port,
                          const std::optional<WriteScope>& written, const CliEnvironment& env);

// The backup could not be kept, so nothing was written. Returns ExitFile.
int ReportNoBackup(const BackupFailure& failure, const CliEnvironment& env);

}  // namespace qlr::cli
