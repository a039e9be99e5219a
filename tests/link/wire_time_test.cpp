// The ideal wire times that transfers and the bench are measured against,
// as the commands' rows add them up.
#include <gtest/gtest.h>

#include "link/wire_time.h"

namespace qlr::wire {
namespace {

TEST(WireTime, IdealSecondsOfEachOperation) {
  struct Case {
    const char* operation;
    double seconds;
    double expected;
  };
  for (const Case& c : {Case{"read of 128", IdealReadSeconds(), 0.70630208333333344},
                        Case{"write of 128", IdealWriteSeconds(128), 1.2563020833333334},
                        Case{"write of 3", IdealWriteSeconds(3), 0.11046875},
                        Case{"region query", IdealRegionSeconds(), 0.012604166666666666},
                        Case{"presence check", IdealPresenceSeconds(), 0.01375}}) {
    EXPECT_DOUBLE_EQ(c.seconds, c.expected) << c.operation;
  }
}

}  // namespace
}  // namespace qlr::wire
