// A change of the receiver's EEPROM that never loses its values: read the
// EEPROM, let the user see what will change and confirm, keep what was read
// as a backup and record the change as started, write only the addresses
// that differ (each read back), and record how it ended. `write`, `medium`
// and `undo` of qlr5500 are this sequence; the dialog keeps its own.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"
#include "change/change_view.h"
#include "image/eeprom_image.h"
#include "link/receiver_link.h"

namespace qlr {

struct ChangeRequest {
  EepromImage image{};                // what the EEPROM is to hold
  std::string what{};                 // for the user: "backup.bin", "the medium values", ...
  std::string command{};              // the history's name of it: "write", "medium", "undo"
  std::string argument{};             // write: the file's absolute path; undo: the backup name undone
  std::optional<int> region{};        // undo: the region of the receiver the undone change was made on
  std::string device{};               // undo: the device the undone change was made on
  std::optional<int> undoneNumber{};  // undo: the number of the change undone
};

// The receiver a change is made on: a link open on it (it answered), and
// how the user knows it.
struct ConnectedReceiver {
  CReceiverLink& link;
  std::string device;
  int port = 0;
};

struct ChangeResult {
  enum class Outcome {
    NoBackup,       // the backup could not be kept or the change not recorded: nothing written
    ReadFailed,     // the EEPROM could not be read: nothing written
    Stopped,        // the user asked to stop during the read: nothing written
    AlreadyHeld,    // the EEPROM holds the image already: nothing written (changes it settles are recorded)
    RegionUnknown,  // the receiver did not say its region: nothing written
    Declined,       // the view refused (and told its user): nothing written
    WriteFailed,    // the write failed after the backup was kept; the link's failure says how far it got
                    // (ValueChanged: an old value read again differed, and nothing was written)
    Written,        // written, each address read back
  };

  Outcome outcome = Outcome::Declined;
  BackupFailure backupFailure{};  // NoBackup
  LinkFailure linkFailure{};      // ReadFailed, RegionUnknown, WriteFailed
  std::size_t changed = 0;        // the addresses that differed
  std::string backupName{};       // WriteFailed, Written: the backup kept, in the folder
  int changeNumber = 0;           // WriteFailed: the change's number in the history, for its undo
  // The outcome, or a settlement, could not be added to the history.
  std::optional<BackupFailure> notRecorded{};
};

// The whole sequence on a receiver already opened, keeping its backup in
// `folder`, which must have been made (MakeBackupFolder). Nothing is
// written unless the read succeeded and the backup was kept and recorded,
// and no value is replaced that was not read twice alike (the backup's read
// and one in the write's own session). A transfer that fails in service
// mode is followed by the exit sequence, so that a receiver that still
// listens is not left there.
ChangeResult MakeGuardedChange(const ChangeRequest& request, const ConnectedReceiver& receiver,
                               const BackupFolder& folder, ChangeView& view);

}  // namespace qlr
