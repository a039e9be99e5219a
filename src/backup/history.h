// The history of changes as the log and the backup folder tell it: what
// `qlr5500 history` lists, what `undo` takes its images from, and the cut
// changes every command that talks to a receiver reports.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backup/history_record.h"

namespace qlr {

enum class ChangeOutcome {
  Done,        // written and verified
  Failed,      // the program saw it fail: Completion says where and why
  InProgress,  // no outcome yet, and another process still holds its lock
  Cut,         // no outcome, and nobody holds its lock: the program was killed or the power lost
};

enum class BackupState {
  Kept,     // the backup file holds the image the log holds
  Deleted,  // no backup file: the log's copy is all there is
  Altered,  // the file differs from the log's copy
  // The file is there but cannot be read (no read permission).
  Unreadable,
  // Something other than a regular file stands in its place: a link, a FIFO, a folder.
  NotAFile,
};

struct Change {
  // 1 for the first change recorded, 2 for the next, ...: the order of the
  // log, which only grows, so a change keeps its number for ever.
  int number = 0;
  ChangeRecord record;
  std::optional<Completion> completion{};
  ChangeOutcome outcome = ChangeOutcome::Cut;
  BackupState backup = BackupState::Kept;
  // It may have left the EEPROM partly written: cut short, or failed after
  // an address may have been written and before all were.
  bool partial = false;
  // It failed before its first write: the receiver kept what it held, and
  // the values read before it may be the very ones found wrong on reading
  // them again, so they are neither undone to nor trusted as read.
  bool wroteNothing = false;
  // A partial change after which the receiver was found, by reading it,
  // holding whole values again: those from before it or after it, or
  // values a later change wrote whole.
  bool settled = false;
  // Partial and not settled: every command names it.
  bool unsettled = false;
  // The number of a later undo of it that was done; 0 for none.
  int undoneBy = 0;
};

struct History {
  std::vector<Change> changes{};     // newest first
  std::vector<std::string> notes{};  // one per line skipped: "history.log line 7 is cut short: skipped"
  // Per device, the images its receiver is known to have held whole: read
  // while no change of it was unsettled, or written whole and read back.
  std::map<std::string, std::vector<EepromImage>> wholeImages{};
};

// The backup names of the unsettled changes of `device` that finding
// `image` in its receiver settles: `image` is the values from before or
// after one of them, or values known whole (which settles them all).
std::vector<std::string> ChangesSettledBy(const History& history, const std::string& device, const EepromImage& image);

// Reads the log of `folder` and looks at each backup file. Reads only: a
// missing log is an empty history. Lines that are no record of this
// version are skipped and named in `notes`.
History ReadHistory(const std::filesystem::path& folder);

}  // namespace qlr
