#include <grp.h>
#include <sys/stat.h>

#include <vector>

#include "cli/output/link_messages.h"

namespace qlr::cli {

const char* const PortListHint = "'qlr5500 ports' lists them";
const char* const DeviceListHint = "";

std::string BusySentence(const std::string& where, const std::string&) {
  return "device busy: " + where + " is in use by another program";
}

std::string AccessGroupOf(const std::string& device) {
  struct stat info {};
  if (device.empty() || ::stat(device.c_str(), &info) != 0 || info.st_gid == 0) return "dialout";
  group entry{};
  group* found = nullptr;
  std::vector<char> buffer(4096);
  if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return "dialout";
  return found->gr_name;
}

}  // namespace qlr::cli
