// The command tail's rules, from POSIX arguments and from a Windows command
// line: pure logic, run under Wine as well.
#include <gtest/gtest.h>

#include <vector>

#include "app/command_tail.h"

namespace qlr {
namespace {

std::string Tail(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "SaveQLR5500");
  return CommandTail(static_cast<int>(arguments.size()), arguments.data());
}

TEST(CommandTail, OnlyExactlySaveIgnoringCaseTakesTheSnapshot) {
  EXPECT_EQ(Tail({}), "");
  EXPECT_EQ(Tail({"  "}), "");
  EXPECT_EQ(Tail({"", "\t", "/SAVE"}), "/SAVE");
  EXPECT_EQ(Tail({" /save"}), "/save");
  EXPECT_EQ(Tail({"/SAVE", "x"}), "/SAVE x");
  EXPECT_EQ(Tail({"/SAVE "}), "/SAVE ");

  for (const char* tail : {"/SAVE", "/save", "/SaVe"}) EXPECT_TRUE(IsSnapshotCommand(tail)) << tail;
  for (const char* tail : {"/SAVE x", "/SAVE ", "/SAVEX", "SAVE", "/SAV", "", "/S\xC1VE"}) {
    EXPECT_FALSE(IsSnapshotCommand(tail)) << tail;
  }
}

TEST(CommandTail, AWindowsCommandLineLosesTheProgramNameAndLeadingBlanksOnly) {
  const struct {
    const char* line;
    const char* tail;
  } cases[] = {
      {"SaveQLR5500.exe", ""},
      {"SaveQLR5500.exe /SAVE", "/SAVE"},
      {"SaveQLR5500.exe \t \x01/save", "/save"},
      {"\"C:\\Program Files\\SaveQLR5500.exe\" /SAVE", "/SAVE"},
      {"\"C:\\Program Files\\SaveQLR5500.exe\"/SAVE", "/SAVE"},
      {"\"C:\\no closing quote /SAVE", ""},
      {"SaveQLR5500.exe  /SAVE  ", "/SAVE  "},
      {"SaveQLR5500.exe \"/SAVE\"", "\"/SAVE\""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandTailOfLine(c.line), c.tail) << c.line;
}

}  // namespace
}  // namespace qlr
