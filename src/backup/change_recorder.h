// Keeping a change of the receiver's EEPROM: its backup first, then its
// "started" record, then how it ended.
#pragma once

#include <string>
#include <string_view>

#include "backup/backup_failure.h"
#include "backup/backup_folder.h"
#include "backup/change_lock.h"
#include "backup/history_record.h"

namespace qlr {

class ChangeRecorder {
 public:
  // `folder` must have been made (MakeBackupFolder).
  explicit ChangeRecorder(BackupFolder folder);

  // Keeps record.before as a new backup file, read-only, written whole or
  // not at all and never in place of another file, named after the time,
  // the device, `regionLabel` and the command, and given to the folder's
  // owner; takes the change's lock; appends the "started" record. Sets
  // record.time and record.backupName. The receiver may be written only
  // after this succeeded. A step that fails leaves the earlier ones: a
  // backup without a record is harmless.
  BackupResult<> Begin(ChangeRecord& record, std::string_view regionLabel);

  // Appends how the change begun ended, then lets go of its lock.
  BackupResult<> Finish(Completion completion);

  const BackupFolder& Folder() const { return folder_; }

 private:
  BackupFolder folder_;
  std::string backupName_;
  ChangeLock lock_;
};

// Records that the change cut short whose backup is `backupName` is
// settled: the EEPROM was found holding the values from before it.
BackupResult<> RecordSettled(const BackupFolder& folder, const std::string& backupName);

}  // namespace qlr
