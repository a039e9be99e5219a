// Appending to the history on POSIX systems: O_APPEND, one write, fsync.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "backup/history_log.h"
#include "os/unique_fd.h"
#include "os/utf8_path.h"

namespace qlr {

BackupResult<> AppendToLog(const std::filesystem::path& log, std::string_view line, const BackupFolder& folder) {
  const auto refused = [&log](int error) {
    return BackupFailure{BackupFailureKind::LogRefused,
                         WithReason("cannot add to the history " + Utf8OfPath(log), error)};
  };
  const UniqueFd fd(::open(log.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!fd) return refused(errno);
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0) return refused(errno);
  if (!S_ISREG(status.st_mode)) return refused(EINVAL);
  HandOver(folder, log);
  std::string text;
  char last = '\n';
  if (status.st_size > 0 && ::pread(fd.Get(), &last, 1, status.st_size - 1) == 1 && last != '\n') text = "\n";
  text += line;
  ssize_t written = -1;
  do {
    written = ::write(fd.Get(), text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return refused(errno);
  // Never written in two parts: a second write could land after another process's line.
  if (static_cast<std::size_t>(written) != text.size()) return refused(ENOSPC);
  if (::fsync(fd.Get()) != 0) return refused(errno);
  return {};
}

}  // namespace qlr
