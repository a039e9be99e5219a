// Answers as the protocol reads them when the receiver or the wire adds
// something: each line is examined once, so an extra line never makes one
// address's answer count for the next, and a value that is not a number is
// never stored as if it were one.
#include <gtest/gtest.h>

#include "image/eeprom_image.h"
#include "link/receiver_link.h"
#include "support/link_fixture.h"

namespace qlr {
namespace {

using qlr::testing::EmulatedLink;
using Lines = std::vector<std::string>;

std::string FirstDifference(const EepromImage& got, const EepromImage& want) {
  for (std::size_t a = 0; a < EepromSize; ++a) {
    if (got[a] == want[a]) continue;
    char text[96];
    std::snprintf(text, sizeof text, "address %02zX holds %02X, the receiver %02X (address %02zX holds %02X)", a,
                  got[a], want[a], a ? a - 1 : 0, a ? want[a - 1] : 0);
    return text;
  }
  return "none";
}

// The reader may deliver the extra line and the answer while the caller is
// still waking up; a whole read gives that race 128 chances.
TEST(AnswerHandover, AnExtraLineBeforeEachAnswerNeverShiftsTheImage) {
  constexpr int Runs = 20;
  for (int run = 0; run < Runs; ++run) {
    EmulatedLink line;
    line.receiver.AddFault({.commandPrefix = "LD0", .before = {"#"}});
    ASSERT_TRUE(line.link.OpenPort(1));
    EepromImage image{};
    ASSERT_TRUE(line.link.ReadEeprom(0, static_cast<int>(EepromSize), image.data(), nullptr)) << "run " << run;
    ASSERT_EQ(image, line.receiver.Memory())
        << "run " << run << ": first difference at " << FirstDifference(image, line.receiver.Memory());
  }
}

// One flipped bit turns the digit '8' (0x38) into 'x' (0x78), which the
// answer pattern accepts in place of a digit.
TEST(AnswerHandover, AValueThatIsNoNumberIsNotStored) {
  for (const char* answer : {"LD040x8", "LD0408x", "LD040xx"}) {
    EmulatedLink line;
    line.receiver.AddFault({.commandPrefix = "LD040?", .answer = Lines{answer}});
    ASSERT_TRUE(line.link.OpenPort(1));
    EepromImage image{};
    image.fill(0x5A);
    const LinkResult<> result = line.link.ReadEeprom(0, static_cast<int>(EepromSize), image.data(), nullptr);
    EXPECT_FALSE(result) << answer << " read as " << static_cast<int>(image[0x40]);
    EXPECT_EQ(image[0x40], 0x5A) << answer;
  }
}

}  // namespace
}  // namespace qlr
