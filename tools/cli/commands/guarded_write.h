// Changing the receiver's EEPROM with a backup first, as write, medium and
// undo do: read the EEPROM, show what will change, keep what was read as a
// backup and record the change, write only the addresses that differ, and
// record how it ended.
#pragma once

#include <optional>
#include <string>

#include "cli/command_line/arguments.h"
#include "cli/cli.h"
#include "image/eeprom_image.h"

namespace qlr::cli {

struct ChangeRequest {
  EepromImage image{};                // what the EEPROM is to hold
  std::string what{};                 // for messages: "backup.bin", "the medium values", ...
  std::string command{};              // the history's name of it: "write", "medium", "undo"
  std::string argument{};             // write: the file's absolute path; undo: the backup name undone
  std::optional<int> region{};        // undo: the region of the receiver the undone change was made on
  std::optional<int> undoneNumber{};  // undo: the number of the change undone
  std::string settles{};              // undo of a cut change: its backup name, settled also when nothing is written
};

// False, with the refusal reported, when no confirmation could be asked
// and --yes was not given: before anything is opened.
bool MayWrite(const Invocation& call, const std::string& what, const CliEnvironment& env);

// The whole change; returns the exit status. Nothing is written unless the
// read succeeded and the backup was kept and recorded.
int WriteWithBackup(const Invocation& call, const ChangeRequest& request, const CliEnvironment& env);

}  // namespace qlr::cli
