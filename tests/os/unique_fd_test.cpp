// The descriptor owner: each descriptor closed exactly once, never twice.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "os/unique_fd.h"

namespace qlr {
namespace {

bool IsOpenDescriptor(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesOnceAndHandsOverOnMoveOrRelease) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const int read = ends[0];
  const int write = ends[1];
  {
    UniqueFd first(read);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.Get(), read);
    UniqueFd third(write);
    third = std::move(second);  // closes the write end, takes the read end
    EXPECT_FALSE(IsOpenDescriptor(write));
    EXPECT_TRUE(IsOpenDescriptor(read));
    EXPECT_EQ(third.Release(), read);
  }
  EXPECT_TRUE(IsOpenDescriptor(read));
  UniqueFd owner(read);
  owner.Reset();
  EXPECT_FALSE(IsOpenDescriptor(read));
}

}  // namespace
}  // namespace qlr
