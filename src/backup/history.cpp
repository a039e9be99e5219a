#include "backup/history.h"

#include <map>
#include <string_view>
#include <system_error>

#include "backup/change_lock.h"
#include "backup/history_log.h"
#include "image/image_file.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

struct Parsed {
  std::vector<Change> changes;  // oldest first
  std::vector<std::string> notes;
};

std::string Note(std::size_t lineNumber, const std::string& why) {
  return "history.log line " + std::to_string(lineNumber) + " " + why.substr(std::string_view("it ").size()) +
         ": skipped";
}

Parsed Parse(const std::string& text) {
  Parsed parsed;
  std::map<std::string, std::size_t> byName;
  std::size_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    ++lineNumber;
    const std::size_t end = text.find('\n', start);
    const std::string_view line = std::string_view(text).substr(start, end == std::string::npos ? end : end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    if (line.empty()) continue;
    HistoryLine parsedLine =
        end == std::string::npos ? HistoryLine(SkippedLine{"it is cut short"}) : ParseHistoryLine(line);
    if (auto* record = std::get_if<ChangeRecord>(&parsedLine)) {
      if (byName.emplace(record->backupName, parsed.changes.size()).second) {
        Change& change = parsed.changes.emplace_back();
        change.record = std::move(*record);
        continue;
      }
      parsedLine = SkippedLine{"it is a second start of " + record->backupName};
    } else if (const auto* settlement = std::get_if<Settlement>(&parsedLine)) {
      const auto found = byName.find(settlement->backupName);
      if (found != byName.end()) {
        parsed.changes[found->second].settled = true;
        continue;
      }
      parsedLine = SkippedLine{"it is an outcome without its start"};
    } else if (auto* completion = std::get_if<Completion>(&parsedLine)) {
      const auto found = byName.find(completion->backupName);
      if (found != byName.end() && !parsed.changes[found->second].completion) {
        parsed.changes[found->second].completion = std::move(*completion);
        continue;
      }
      parsedLine = SkippedLine{"it is an outcome without its start"};
    }
    parsed.notes.push_back(Note(lineNumber, std::get<SkippedLine>(parsedLine).why));
  }
  return parsed;
}

BackupState StateOfBackup(const fs::path& file, const EepromImage& kept) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(file, error))) return BackupState::Deleted;
  EepromImage image{};
  const bool same = LoadImageFile(file, image) && fs::file_size(file, error) == EepromSize && !error && image == kept;
  return same ? BackupState::Kept : BackupState::Altered;
}

ChangeOutcome OutcomeOf(const Change& change, const fs::path& folder) {
  if (change.completion) return change.completion->done ? ChangeOutcome::Done : ChangeOutcome::Failed;
  return ChangeLock::HeldElsewhere(folder / change.record.backupName) ? ChangeOutcome::InProgress : ChangeOutcome::Cut;
}

bool Settles(const Change& later, const Change& cut) {
  if (later.outcome != ChangeOutcome::Done) return false;
  const bool undoesIt = later.record.command == "undo" && later.record.argument == cut.record.backupName;
  return undoesIt || later.record.device == cut.record.device;
}

}  // namespace

History ReadHistory(const fs::path& folder) {
  const fs::path log = HistoryLogPath(folder);
  Parsed parsed = Parse(ReadLogText(log));
  bool cutFound = false;
  for (Change& change : parsed.changes) {
    change.outcome = OutcomeOf(change, folder);
    cutFound = cutFound || change.outcome == ChangeOutcome::Cut;
  }
  // A writer records the outcome before it lets go of the lock: one that
  // ended between the reading and the look at its lock is in the log now.
  if (cutFound) {
    const Parsed again = Parse(ReadLogText(log));
    for (Change& change : parsed.changes) {
      if (change.outcome != ChangeOutcome::Cut) continue;
      for (const Change& reread : again.changes) {
        if (reread.record.backupName == change.record.backupName && reread.completion) {
          change.completion = reread.completion;
          change.outcome = OutcomeOf(change, folder);
        }
      }
    }
  }
  History history;
  history.notes = std::move(parsed.notes);
  const std::size_t count = parsed.changes.size();
  for (std::size_t i = 0; i < count; ++i) {
    Change& change = parsed.changes[i];
    change.number = static_cast<int>(count - i);
    change.backup = StateOfBackup(folder / change.record.backupName, change.record.before);
    change.unsettled = change.outcome == ChangeOutcome::Cut && !change.settled;
    for (std::size_t j = i + 1; j < count && change.unsettled; ++j)
      change.unsettled = !Settles(parsed.changes[j], change);
  }
  history.changes.assign(parsed.changes.rbegin(), parsed.changes.rend());
  return history;
}

}  // namespace qlr
