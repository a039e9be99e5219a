// The history on POSIX systems: appended with O_APPEND, one write, fsync,
// in the folder held open; read without blocking.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "backup/folder_access_posix.h"
#include "backup/history_log.h"
#include "backup/regular_file_posix.h"
#include "os/unique_fd.h"
#include "os/utf8_path.h"

namespace qlr {

BackupResult<> AppendToLog(const std::filesystem::path& log, std::string_view line, const BackupFolder& folder) {
  const auto refused = [&log](int error) {
    return BackupFailure{BackupFailureKind::LogRefused,
                         WithReason("cannot add to the history " + Utf8OfPath(log), error)};
  };
  OpenedFolder opened;
  if (BackupResult<> usable = OpenBackupFolder(folder, false, opened); !usable) return usable;
  if (!opened.fd) return refused(ENOENT);
  const std::string name = log.filename().string();
  RegularFile file = OpenRegularFile(opened.fd.Get(), name.c_str(), O_RDWR | O_APPEND);
  bool created = false;
  if (file.error == ENOENT) {
    file.fd.Reset(
        ::openat(opened.fd.Get(), name.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    file.error = errno;
    created = static_cast<bool>(file.fd);
    // Another process made it first.
    if (!file.fd && file.error == EEXIST) file = OpenRegularFile(opened.fd.Get(), name.c_str(), O_RDWR | O_APPEND);
  }
  if (file.other) return refused(EINVAL);
  if (!file.fd) return refused(file.error);
  struct stat status {};
  if (::fstat(file.fd.Get(), &status) != 0) return refused(errno);
  if (!created) {
    if (BackupResult<> trusted = CheckTrusted(log, status, folder); !trusted) return trusted;
  } else if (opened.giveTo) {
    // Best effort: the record matters more than who owns the log.
    [[maybe_unused]] const int given = ::fchown(file.fd.Get(), opened.giveTo->uid, opened.giveTo->gid);
  }
  std::string text;
  char last = '\n';
  if (status.st_size > 0 && ::pread(file.fd.Get(), &last, 1, status.st_size - 1) == 1 && last != '\n') text = "\n";
  text += line;
  ssize_t written = -1;
  do {
    written = ::write(file.fd.Get(), text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return refused(errno);
  // Never written in two parts: a second write could land after another process's line.
  if (static_cast<std::size_t>(written) != text.size()) return refused(ENOSPC);
  if (::fsync(file.fd.Get()) != 0) return refused(errno);
  // A new log's name must reach the disk too, or a power loss could take the record with it.
  if (created && ::fsync(opened.fd.Get()) != 0 && errno != EINVAL) return refused(errno);
  return {};
}

std::string ReadLogText(const std::filesystem::path& log) {
  const RegularFile file = OpenRegularFile(AT_FDCWD, log.c_str(), O_RDONLY);
  std::string text;
  // A read that fails part-way keeps the lines before it, which still count.
  if (file.fd) ReadUpTo(file.fd.Get(), text, text.max_size());
  return text;
}

}  // namespace qlr
