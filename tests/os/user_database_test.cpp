// The user and group lookups: root, an id nobody has, and a buffer that
// grows for entries of any size up to the limit.
#include <gtest/gtest.h>

#include "os/user_database_posix.h"

namespace qlr {
namespace {

TEST(UserDatabase, LooksUpRootAndNoOneElse) {
  EXPECT_EQ(LookUpUser(0).value_or(UserEntry{}).name, "root");
  EXPECT_EQ(LookUpGroup(0).value_or(GroupEntry{}).name, "root");
  EXPECT_FALSE(LookUpUser(3999999999u));
  EXPECT_FALSE(LookUpGroup(3999999999u));
}

TEST(UserDatabase, TheBufferGrowsUntilTheEntryFitsOrTheLimit) {
  // An entry of `needed` bytes, as the lookups answer: ERANGE while it does not fit.
  const auto fits = [](std::size_t needed) {
    int entry = 0;
    std::vector<char> buffer;
    return user_database::WithGrowingBuffer(entry, buffer, [needed](int* into, char*, std::size_t size, int** found) {
             *found = into;
             return size < needed ? ERANGE : 0;
           }) != nullptr;
  };
  EXPECT_TRUE(fits(1 << 20));
  EXPECT_TRUE(fits(user_database::LargestEntry));
  EXPECT_FALSE(fits(user_database::LargestEntry + 1));
}

}  // namespace
}  // namespace qlr
