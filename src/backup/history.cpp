#include "backup/history.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "backup/backup_file.h"
#include "backup/change_lock.h"
#include "backup/history_log.h"

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

ChangeOutcome OutcomeOf(const Change& change, const fs::path& folder) {
  if (change.completion) return change.completion->done ? ChangeOutcome::Done : ChangeOutcome::Failed;
  return ChangeLock::HeldElsewhere(folder / change.record.backupName) ? ChangeOutcome::InProgress : ChangeOutcome::Cut;
}

// Whether a failed change may have left the EEPROM partly written: it
// failed at an address (which may have been written), or after some of its
// addresses and before all.
bool FailedPartWay(const Change& change) {
  const Completion& failed = *change.completion;
  return failed.failedAddress >= 0 || (failed.written > 0 && failed.written < change.record.changed);
}

bool Contains(const std::vector<EepromImage>& images, const EepromImage& image) {
  return std::find(images.begin(), images.end(), image) != images.end();
}

// What the history knows of one device's receiver as it walks the changes
// in their order.
struct DeviceState {
  std::vector<Change*> unsettled;
  std::vector<EepromImage> whole;

  // The receiver was found holding `image`, by reading it.
  void Found(const EepromImage& image, bool knownWhole) {
    knownWhole = knownWhole || Contains(whole, image);
    std::erase_if(unsettled, [&](Change* change) {
      const bool settles = knownWhole || image == change->record.before || image == change->record.after;
      change->settled = change->settled || settles;
      return settles;
    });
    if (knownWhole && !Contains(whole, image)) whole.push_back(image);
  }
};

// Walks the changes (oldest first) through what each told of its receiver:
// the values read before it, and those it left.
std::map<std::string, std::vector<EepromImage>> Settle(std::vector<Change>& changes) {
  std::map<std::string, DeviceState> devices;
  std::map<std::string, Change*> byName;
  for (Change& change : changes) byName[change.record.backupName] = &change;
  for (Change& change : changes) {
    DeviceState& device = devices[change.record.device];
    const ChangeRecord& record = change.record;
    change.wroteNothing = change.outcome == ChangeOutcome::Failed && change.completion->failedAddress < 0 &&
                          change.completion->written == 0;
    if (!change.wroteNothing) device.Found(record.before, device.unsettled.empty());
    const bool allWritten = change.completion && !change.completion->done && change.completion->failedAddress < 0 &&
                            change.completion->written == record.changed;
    if (change.outcome == ChangeOutcome::Done || allWritten) {
      // Values the change wrote whole: a file's or the medium values; an undo's are as whole as what it put back.
      device.Found(record.after, record.command != "undo");
      if (record.command == "undo" && change.outcome == ChangeOutcome::Done) {
        if (const auto undone = byName.find(record.argument); undone != byName.end()) {
          undone->second->undoneBy = change.number;
        }
      }
    }
    change.partial = change.outcome == ChangeOutcome::Cut ||
                     (change.outcome == ChangeOutcome::Failed && !allWritten && FailedPartWay(change));
    if (change.partial && !change.settled) device.unsettled.push_back(&change);
  }
  std::map<std::string, std::vector<EepromImage>> whole;
  for (auto& [name, device] : devices) {
    for (Change* change : device.unsettled) change->unsettled = true;
    whole[name] = std::move(device.whole);
  }
  return whole;
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
  for (std::size_t i = 0; i < parsed.changes.size(); ++i) {
    Change& change = parsed.changes[i];
    change.number = static_cast<int>(i + 1);
    change.backup = StateOfBackupFile(folder / change.record.backupName, change.record.before);
  }
  history.wholeImages = Settle(parsed.changes);
  history.changes.assign(parsed.changes.rbegin(), parsed.changes.rend());
  return history;
}

std::vector<std::string> ChangesSettledBy(const History& history, const std::string& device, const EepromImage& image) {
  const auto whole = history.wholeImages.find(device);
  const bool knownWhole = whole != history.wholeImages.end() && Contains(whole->second, image);
  std::vector<std::string> settled;
  for (const Change& change : history.changes) {
    if (change.unsettled && change.record.device == device &&
        (knownWhole || image == change.record.before || image == change.record.after)) {
      settled.push_back(change.record.backupName);
    }
  }
  return settled;
}

}  // namespace qlr
