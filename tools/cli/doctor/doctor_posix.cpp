#include "cli/doctor/doctor_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "os/user_database_posix.h"

namespace qlr::cli {
namespace {

bool InThisProcess(gid_t group) {
  if (::getegid() == group) return true;
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string CurrentUserName() {
  const std::optional<UserEntry> user = LookUpUser(::geteuid());
  return user ? user->name : "$USER";
}

Finding PermissionFinding(const PortInfo& port) {
  const std::string& device = port.device;
  const std::string denied = PortName(port) + ": permission denied: ";
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return {Mark::Problem, denied + "the device cannot even be looked at", {}};
  const GroupEntry owning = LookUpGroup(info.st_gid).value_or(GroupEntry{std::to_string(info.st_gid), {}});
  const std::string& groupName = owning.name;
  const std::optional<UserEntry> account = LookUpUser(::geteuid());
  const std::string user = account ? account->name : "$USER";
  const bool groupMayOpen = info.st_gid != 0 && (info.st_mode & S_IRGRP) && (info.st_mode & S_IWGRP);
  if (!groupMayOpen) {
    return {Mark::Problem,
            denied + "its mode " + Octal(info.st_mode) + " and group " + groupName + " let only its owner open it",
            "for now: sudo chgrp dialout " + device + " && sudo chmod 0660 " + device +
                "; a udev rule with\nGROUP=\"dialout\", MODE=\"0660\" for the adapter makes it last"};
  }
  if (InThisProcess(info.st_gid)) {
    return {Mark::Problem, denied + "user " + user + " is in group " + groupName + ", which may open it",
            "'getfacl " + device + "' and the system log (AppArmor, SELinux) tell what refuses it"};
  }
  const std::vector<std::string>& members = owning.members;
  const bool member = account && (account->loginGroup == info.st_gid ||
                                  std::find(members.begin(), members.end(), user) != members.end());
  if (member) {
    return {Mark::Problem,
            denied + "user " + user + " was added to group " + groupName + ", but this login started before",
            "log out and in again (or run 'newgrp " + groupName + "' in this terminal)"};
  }
  return {Mark::Problem, denied + "it belongs to group " + groupName + ", and user " + user + " is not in it",
          "sudo adduser " + user + " " + groupName + ", then log out and in again"};
}

}  // namespace qlr::cli
