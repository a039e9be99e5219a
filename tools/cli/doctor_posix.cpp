#include "cli/doctor_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace qlr::cli {
namespace {

// The fields of a line of /etc/passwd or /etc/group.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, ':');) fields.push_back(field);
  if (!line.empty() && line.back() == ':') fields.emplace_back();
  return fields;
}

// The first line of a database whose field `index` is `id`, as fields.
std::optional<std::vector<std::string>> Entry(const std::filesystem::path& database, std::size_t index, unsigned id) {
  std::ifstream in(database);
  const std::string wanted = std::to_string(id);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields = Fields(line);
    if (fields.size() > index && fields[index] == wanted) return fields;
  }
  return std::nullopt;
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

std::string CurrentUserName(const SystemView& view) {
  const auto user = Entry(view / "etc/passwd", 2, ::geteuid());
  return user ? user->front() : "$USER";
}

Finding PermissionFinding(const SystemView& view, const PortInfo& port) {
  const std::string& device = port.device;
  const std::string denied = PortName(port) + ": permission denied: ";
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return {Mark::Problem, denied + "the device cannot even be looked at", {}};
  const auto group = Entry(view / "etc/group", 2, info.st_gid);
  const std::string groupName = group ? group->front() : std::to_string(info.st_gid);
  const std::string user = CurrentUserName(view);
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
  const auto account = Entry(view / "etc/passwd", 2, ::geteuid());
  bool member = account && account->size() > 3 && (*account)[3] == std::to_string(info.st_gid);
  if (group && group->size() > 3) {
    std::istringstream members((*group)[3]);
    for (std::string name; std::getline(members, name, ',');) member = member || name == user;
  }
  if (member) {
    return {Mark::Problem,
            denied + "user " + user + " was added to group " + groupName + ", but this login started before",
            "log out and in again (or run 'newgrp " + groupName + "' in this terminal)"};
  }
  return {Mark::Problem, denied + "it belongs to group " + groupName + ", and user " + user + " is not in it",
          "sudo adduser " + user + " " + groupName + ", then log out and in again"};
}

}  // namespace qlr::cli
