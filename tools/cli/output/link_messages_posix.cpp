#include <sys/stat.h>

#include "cli/output/link_messages.h"
#include "os/user_database_posix.h"

namespace qlr::cli {

const char* const PortListHint = "'qlr5500 ports' lists them";
const char* const DeviceListHint = "";

std::string BusySentence(const std::string& where, const std::string&) {
  return "device busy: " + where + " is in use by another program";
}

std::string AccessGroupOf(const std::string& device) {
  struct stat info {};
  if (device.empty() || ::stat(device.c_str(), &info) != 0 || info.st_gid == 0) return "dialout";
  const std::optional<GroupEntry> group = LookUpGroup(info.st_gid);
  return group ? group->name : "dialout";
}

}  // namespace qlr::cli
