// The records of the history log, and the one line each is written as.
//
// A change is two records: "started", appended before the first byte goes
// to the receiver, and its completion ("done" or "failed"), appended after.
// Both name the change by its backup file's name. A line is tab-separated:
//
//   qlr5500-history 1 started NAME TIME COMMAND ARGUMENT DEVICE REGION CHANGED BEFORE AFTER .
//   qlr5500-history 1 done    NAME TIME .
//   qlr5500-history 1 failed  NAME TIME ADDRESS WRITTEN WHY .
//   qlr5500-history 1 settled NAME TIME .
//
// "settled" follows a change cut short when an undo of it found the EEPROM
// holding its old values already, so that nothing was left to write.
// The second field is the format's version; a reader skips the lines of a
// newer one. The "." that ends every line tells a whole line from one a
// crash cut short. BEFORE and AFTER are the two images in hex (256 digits
// each), so the log is a second copy of every backup. Text fields escape
// backslash, tab, CR, LF and the other control characters (\\ \t \r \n \xHH).
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "image/eeprom_image.h"

namespace qlr {

// A change as its "started" record holds it.
struct ChangeRecord {
  std::string backupName{};  // the backup file in the backup folder: the change's name
  std::string time{};        // local time and its offset from UTC, "2026-12-09T15:30:12+01:00" (older records: none)
  std::string command{};     // "write", "medium" or "undo"
  std::string argument{};    // write: the file written; undo: the backup name of the change undone
  std::string device{};      // "/dev/ttyUSB0"
  int region = 0;            // the receiver's region code, 0..255
  int changed = 0;           // how many addresses are to change, 1..128
  EepromImage before{};      // the EEPROM as it was read, as the backup holds it
  EepromImage after{};       // the EEPROM as the change leaves it

  bool operator==(const ChangeRecord&) const = default;
};

// How a change ended.
struct Completion {
  std::string backupName{};
  std::string time{};
  bool done = false;
  // A failure: the address it failed at (-1: before the first or after
  // the last), how many addresses were written and verified, and why.
  int failedAddress = -1;
  int written = 0;
  std::string why{};

  bool operator==(const Completion&) const = default;
};

// A change cut short found undone.
struct Settlement {
  std::string backupName{};
  std::string time{};
};

// A line that is no record of this version, and why: for the note that
// names the line a reader skipped.
struct SkippedLine {
  std::string why{};  // "it is cut short", "it is written by a newer qlr5500", "it is no history record"
};

using HistoryLine = std::variant<ChangeRecord, Completion, Settlement, SkippedLine>;

// The lines, with their '\n'.
std::string StartedLine(const ChangeRecord& record);
std::string CompletionLine(const Completion& completion);
std::string SettlementLine(const Settlement& settlement);

// One line, without its '\n'.
HistoryLine ParseHistoryLine(std::string_view line);

// `text` with backslash, tab, CR, LF and the other control characters
// escaped as a text field of a line is.
std::string EscapedField(std::string_view text);

// Whether `name` may be a backup's name: a plain file name of the folder,
// letters, digits, '.', '-' and '_' only, so that no record can point
// outside the folder.
bool IsBackupName(std::string_view name);

}  // namespace qlr
