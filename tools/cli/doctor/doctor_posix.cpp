#include "cli/doctor/doctor_posix.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace qlr::cli {
namespace {

// The user and group databases through the system's lookups, so that
// users and groups from a directory service count as much as local ones.

// The user's name and login group; false for a user the database does not know.
bool LookUpUser(uid_t uid, std::string& name, gid_t& loginGroup) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
  name = found->pw_name;
  loginGroup = found->pw_gid;
  return true;
}

// The group's name and the users who have it as a further group; false for
// a group the database does not know.
bool LookUpGroup(gid_t gid, std::string& name, std::vector<std::string>& members) {
  std::vector<char> buffer(65536);
  group entry{};
  group* found = nullptr;
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return false;
  name = found->gr_name;
  for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) members.emplace_back(*member);
  return true;
}

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
  std::string name;
  gid_t loginGroup = 0;
  return LookUpUser(::geteuid(), name, loginGroup) ? name : "$USER";
}

Finding PermissionFinding(const PortInfo& port) {
  const std::string& device = port.device;
  const std::string denied = PortName(port) + ": permission denied: ";
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return {Mark::Problem, denied + "the device cannot even be looked at", {}};
  std::string groupName;
  std::vector<std::string> members;
  if (!LookUpGroup(info.st_gid, groupName, members)) groupName = std::to_string(info.st_gid);
  std::string user = "$USER";
  gid_t loginGroup = 0;
  const bool userKnown = LookUpUser(::geteuid(), user, loginGroup);
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
  const bool member =
      userKnown && (loginGroup == info.st_gid || std::find(members.begin(), members.end(), user) != members.end());
  if (member) {
    return {Mark::Problem,
            denied + "user " + user + " was added to group " + groupName + ", but this login started before",
            "log out and in again (or run 'newgrp " + groupName + "' in this terminal)"};
  }
  return {Mark::Problem, denied + "it belongs to group " + groupName + ", and user " + user + " is not in it",
          "sudo adduser " + user + " " + groupName + ", then log out and in again"};
}

}  // namespace qlr::cli
