// Finding the backup folder on POSIX systems: the XDG data folder, the
// invoking user's under sudo. Making and trusting it: folder_access_posix.cpp.
#include <unistd.h>

#include <limits>
#include <string>
#include <vector>

#include "backup/backup_folder.h"
#include "os/decimal.h"
#include "os/user_database_posix.h"

namespace qlr {
namespace fs = std::filesystem;
namespace {

// A number such as SUDO_UID holds; none for anything else ((uid_t)-1 is no id).
std::optional<unsigned> Id(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return ParseDecimal<unsigned>(*text, 0, std::numeric_limits<uid_t>::max() - 1);
}

// The invoking user when root runs under sudo.
std::optional<FileOwner> SudoUser(const Environment& environment) {
  if (::geteuid() != 0) return std::nullopt;
  const std::optional<unsigned> uid = Id(environment.GetNonEmpty("SUDO_UID"));
  const std::optional<unsigned> gid = Id(environment.GetNonEmpty("SUDO_GID"));
  if (!uid || !gid || *uid == 0) return std::nullopt;
  return FileOwner{*uid, *gid};
}

std::optional<std::string> HomeOf(unsigned uid) {
  const std::optional<UserEntry> user = LookUpUser(uid);
  if (!user || user->home.empty()) return std::nullopt;
  return user->home;
}

}  // namespace

BackupResult<BackupFolder> FindBackupFolder(const std::optional<fs::path>& chosen, const Environment& environment) {
  BackupFolder folder;
  folder.owner = SudoUser(environment);
  if (chosen) {
    folder.path = *chosen;
    return folder;
  }
  // Under sudo HOME is root's; a kept XDG_DATA_HOME (sudo -E) is the user's.
  std::optional<std::string> home = folder.owner ? HomeOf(folder.owner->uid) : environment.GetNonEmpty("HOME");
  if (!home && !folder.owner) home = HomeOf(::geteuid());
  if (home) folder.home = *home;
  const std::optional<std::string> dataHome = environment.GetNonEmpty("XDG_DATA_HOME");
  if (dataHome && fs::path(*dataHome).is_absolute()) {
    folder.path = fs::path(*dataHome) / "qlr5500" / "backups";
    // Only a home the data folder lies in must exist.
    const fs::path inside = folder.path.lexically_relative(folder.home);
    if (folder.home.empty() || inside.empty() || *inside.begin() == "..") folder.home.clear();
    return folder;
  }
  if (!home) return BackupFailure{BackupFailureKind::NoDataFolder, "there is no home folder (--backup-dir names one)"};
  folder.path = folder.home / ".local" / "share" / "qlr5500" / "backups";
  return folder;
}

}  // namespace qlr
