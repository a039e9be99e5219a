// The one reading of Windows errors as errno values.
#include <gtest/gtest.h>

#include <utility>

#include "os/nearest_errno.h"

namespace qlr {
namespace {

TEST(NearestErrno, MapsEachWindowsErrorOnce) {
  const std::pair<DWORD, int> cases[] = {
      {ERROR_FILE_NOT_FOUND, ENOENT},    {ERROR_PATH_NOT_FOUND, ENOENT},    {ERROR_INVALID_NAME, ENOENT},
      {ERROR_ACCESS_DENIED, EACCES},     {ERROR_SHARING_VIOLATION, EACCES}, {ERROR_LOCK_VIOLATION, EACCES},
      {ERROR_FILE_EXISTS, EEXIST},       {ERROR_ALREADY_EXISTS, EEXIST},    {ERROR_DISK_FULL, ENOSPC},
      {ERROR_HANDLE_DISK_FULL, ENOSPC},  {ERROR_WRITE_PROTECT, EROFS},      {ERROR_INVALID_PARAMETER, EINVAL},
      {ERROR_NOT_ENOUGH_MEMORY, ENOMEM}, {ERROR_OUTOFMEMORY, ENOMEM},       {ERROR_GEN_FAILURE, EIO},
  };
  for (const auto& [error, expected] : cases) EXPECT_EQ(NearestErrno(error), expected) << error;
}

}  // namespace
}  // namespace qlr
