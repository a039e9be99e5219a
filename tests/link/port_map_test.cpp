// The port map from the environment's list.
#include <gtest/gtest.h>

#include "link/port_map.h"
#include "support/test_support.h"

namespace qlr {
namespace {

TEST(PortMap, ListGivesPortNumbersByPositionAndSkipsEmptyEntries) {
  const auto ports = PortsFromList("/dev/a::/dev/c:");
  ASSERT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports[0].number, 1);
  EXPECT_EQ(ports[0].device, "/dev/a");
  EXPECT_EQ(ports[1].number, 3);
  EXPECT_EQ(ports[1].device, "/dev/c");
  EXPECT_TRUE(PortsFromList("").empty());

  qlr::testing::ScopedEnvironment ports_variable(PortsVariable, "::/dev/pts/9");
  EXPECT_EQ(DeviceForPort(3), "/dev/pts/9");
  EXPECT_EQ(DeviceForPort(1), "");
  EXPECT_EQ(DeviceForPort(4), "");
}

}  // namespace
}  // namespace qlr
