#include "backup/change_recorder.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "backup/backup_file.h"
#include "backup/history_log.h"
#include "os/utf8_path.h"

namespace qlr {
namespace {

// Two processes may start a change in the same second on the same device.
constexpr int NameTries = 100;

std::string LocalTime(std::time_t when, const char* format) {
  const std::tm* local = std::localtime(&when);
  char text[32] = "";
  if (local != nullptr) std::strftime(text, sizeof text, format, local);
  return text;
}

// How far local time is ahead of UTC at `when`, in seconds; worked out from
// the two broken-down times, since not every C library's %z gives a number.
long UtcOffsetSeconds(std::time_t when) {
  const std::tm* localTime = std::localtime(&when);
  if (localTime == nullptr) return 0;
  const std::tm local = *localTime;
  const std::tm* utcTime = std::gmtime(&when);
  if (utcTime == nullptr) return 0;
  const std::tm& utc = *utcTime;
  long days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  return days * 86400 + (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L +
         (local.tm_sec - utc.tm_sec);
}

// A record's time, local with its offset from UTC, so that a clock set back
// or the hour that repeats when summer time ends cannot confuse two times:
// "2026-12-09T15:30:12+01:00".
std::string RecordTime(std::time_t when) {
  const long offset = UtcOffsetSeconds(when);
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return LocalTime(when, "%Y-%m-%dT%H:%M:%S") + zone;
}

// "/dev/ttyUSB0" is "ttyUSB0", "\\.\COM3" is "COM3".
std::string ShortDevice(std::string_view device) {
  for (const std::string_view prefix : {"/dev/", "\\\\.\\", "\\\\?\\"}) {
    if (device.starts_with(prefix)) return std::string(device.substr(prefix.size()));
  }
  return std::string(device);
}

// A name made of `text` that every file system takes: letters, digits, '.'
// and '-', the rest '-'; at most `longest` characters.
std::string PlainName(std::string_view text, std::size_t longest = 40) {
  std::string name;
  for (const char c : text.substr(0, longest)) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
    name += plain ? c : '-';
  }
  return name.empty() ? "-" : name;
}

}  // namespace

ChangeRecorder::ChangeRecorder(BackupFolder folder) : folder_(std::move(folder)) {}

BackupResult<> ChangeRecorder::Begin(ChangeRecord& record, std::string_view regionLabel) {
  const std::time_t now = std::time(nullptr);
  record.time = RecordTime(now);
  // A name the history holds already would make two changes one, even when
  // its file was deleted since: the clock may have gone back.
  const std::string log = ReadLogText(HistoryLogPath(folder_.path));
  const auto recorded = [&log](const std::string& name) { return log.find("\t" + name + "\t") != std::string::npos; };
  const std::string stem = LocalTime(now, "%Y-%m-%dT%H-%M-%S") + "_" + PlainName(ShortDevice(record.device)) + "_" +
                           PlainName(regionLabel) + "_before-" + PlainName(record.command);
  BackupResult<> kept = BackupFailure{BackupFailureKind::NameTaken,
                                      "every name tried for the backup is taken in " + Utf8OfPath(folder_.path)};
  for (int attempt = 1; attempt <= NameTries && !kept && kept.Failure().kind == BackupFailureKind::NameTaken;
       ++attempt) {
    record.backupName = stem + (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".bin";
    if (recorded(record.backupName)) continue;
    kept = KeepBackupFile(folder_, record.backupName, record.before);
  }
  if (!kept) return kept;
  const std::filesystem::path backup = folder_.path / record.backupName;
  if (lock_.Take(backup) != LockAttempt::Taken) {
    return BackupFailure{BackupFailureKind::LockRefused, "cannot lock " + Utf8OfPath(backup)};
  }
  if (auto appended = AppendToLog(HistoryLogPath(folder_.path), StartedLine(record), folder_); !appended) {
    lock_.Release();
    return appended;
  }
  backupName_ = record.backupName;
  return {};
}

BackupResult<> RecordSettled(const BackupFolder& folder, const std::string& backupName) {
  const Settlement settlement{backupName, RecordTime(std::time(nullptr))};
  return AppendToLog(HistoryLogPath(folder.path), SettlementLine(settlement), folder);
}

BackupResult<> ChangeRecorder::Finish(Completion completion) {
  completion.backupName = backupName_;
  completion.time = RecordTime(std::time(nullptr));
  // The outcome is in the log before the lock goes, so that a reader who
  // finds the lock free finds the outcome too.
  BackupResult<> appended = AppendToLog(HistoryLogPath(folder_.path), CompletionLine(completion), folder_);
  lock_.Release();
  return appended;
}

}  // namespace qlr
