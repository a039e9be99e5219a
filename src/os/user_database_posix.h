// The system's user and group databases, through its reentrant lookups, so
// that users and groups from a directory service count as much as local
// ones. Any thread may call these.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qlr {

struct UserEntry {
  std::string name;
  std::string home;  // empty when the database names none
  gid_t loginGroup = 0;
};

struct GroupEntry {
  std::string name;
  std::vector<std::string> members;  // the users who have it as a further group
};

namespace user_database {

// A large group of a directory service can take megabytes; beyond this the entry counts as unknown.
inline constexpr std::size_t LargestEntry = std::size_t{16} << 20;

inline std::string Text(const char* text) { return text ? text : ""; }

// Runs `lookUp` (getpwuid_r or getgrgid_r for one id) with a buffer that
// grows while the entry does not fit; the entry found, or null.
template <typename Entry, typename LookUp>
const Entry* WithGrowingBuffer(Entry& entry, std::vector<char>& buffer, LookUp lookUp) {
  for (std::size_t size = 4096; size <= LargestEntry; size *= 2) {
    buffer.resize(size);
    Entry* found = nullptr;
    const int error = lookUp(&entry, buffer.data(), buffer.size(), &found);
    if (error != ERANGE) return error == 0 ? found : nullptr;
  }
  return nullptr;
}

}  // namespace user_database

// The user with id `uid`; none for a user the database does not know.
inline std::optional<UserEntry> LookUpUser(uid_t uid) {
  passwd entry{};
  std::vector<char> buffer;
  const passwd* found = user_database::WithGrowingBuffer(
      entry, buffer, [uid](passwd* into, char* text, std::size_t size, passwd** result) {
        return ::getpwuid_r(uid, into, text, size, result);
      });
  if (!found) return std::nullopt;
  return UserEntry{user_database::Text(found->pw_name), user_database::Text(found->pw_dir), found->pw_gid};
}

// The group with id `gid`; none for a group the database does not know.
inline std::optional<GroupEntry> LookUpGroup(gid_t gid) {
  group entry{};
  std::vector<char> buffer;
  const group* found =
      user_database::WithGrowingBuffer(entry, buffer, [gid](group* into, char* text, std::size_t size, group** result) {
        return ::getgrgid_r(gid, into, text, size, result);
      });
  if (!found) return std::nullopt;
  GroupEntry named{user_database::Text(found->gr_name), {}};
  for (char** member = found->gr_mem; member != nullptr && *member != nullptr; ++member) {
    named.members.emplace_back(*member);
  }
  return named;
}

}  // namespace qlr
