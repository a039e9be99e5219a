// Line assembly and answer recognition: pure logic, byte by byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/line_assembler.h"
#include "link/line_pattern.h"

namespace qlr {
namespace {

std::vector<std::string> Assemble(const std::string& stream) {
  LineAssembler assembler;
  std::vector<std::string> lines;
  for (const char c : stream) {
    if (assembler.Feed(static_cast<std::uint8_t>(c))) lines.emplace_back(assembler.Line());
  }
  return lines;
}

TEST(LineAssembly, DropsLeadingLineEndsAndKeepsTheLinesOwn) {
  EXPECT_EQ(Assemble("\r\n\r\nG000\r\n"), std::vector<std::string>{"G000\r\n"});
  EXPECT_EQ(Assemble("G000\r\nLD0053A\r\n"), (std::vector<std::string>{"G000\r\n", "LD0053A\r\n"}));
  EXPECT_EQ(Assemble("\n\n\r"), std::vector<std::string>{});
  // A CR inside a line stays, and a line without CR still ends at LF.
  EXPECT_EQ(Assemble("A\rB\n"), std::vector<std::string>{"A\rB\n"});
  EXPECT_TRUE(Assemble("G000\r").empty());
}

TEST(LineAssembly, OverlongLinesWrapToTheirLastStoredCharacters) {
  // 300 characters and LF: storing restarts after the 256th, so the last 45 arrive.
  std::string line;
  for (int i = 0; i < 300; ++i) line += static_cast<char>('A' + i % 26);
  const auto lines = Assemble(line + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line.substr(256) + "\n");
  EXPECT_EQ(lines[0].size(), 45u);

  // An LF that is the 256th stored character delivers the empty string, and
  // the assembler is ready for the next line.
  const auto wrapped = Assemble(std::string(255, 'x') + "\nG000\r\n");
  EXPECT_EQ(wrapped, (std::vector<std::string>{"", "G000\r\n"}));
}

TEST(LineAssembly, PassesEveryByteValue) {
  std::string line;
  for (int c = 1; c < 256; ++c) {
    if (c != '\n') line += static_cast<char>(c);
  }
  const auto lines = Assemble(line + "\n");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], line + "\n");
}

TEST(LinePattern, HexPlaceholdersAndLiterals) {
  EXPECT_TRUE(LineMatchesPattern("LD01A7F\r\n", "LD0xxxx"));
  EXPECT_TRUE(LineMatchesPattern("LD01a7f\r\n", "LD0xxxx"));
  EXPECT_FALSE(LineMatchesPattern("LD01G7F\r\n", "LD0xxxx"));
  EXPECT_FALSE(LineMatchesPattern("LD01A7", "LD0xxxx"));
  EXPECT_FALSE(LineMatchesPattern("LD11A7F\r\n", "LD0xxxx"));
  EXPECT_TRUE(LineMatchesPattern("G00x\r\n", "G00x"));  // a literal x matches too
  EXPECT_TRUE(LineMatchesPattern("anything", ""));
  EXPECT_TRUE(LineMatchesPattern("", ""));
  EXPECT_FALSE(LineMatchesPattern("", "G"));
  EXPECT_FALSE(LineMatchesPattern("GE\xB1\xB2\r\n", "GExx"));  // bytes above 0x7F are no digits
}

TEST(LinePattern, HexPairReadsTwoDigitsAtAPosition) {
  EXPECT_EQ(HexPairAt("GE02\r\n", 2), 0x02);
  EXPECT_EQ(HexPairAt("GE1F\r\n", 2), 0x1F);
  EXPECT_EQ(HexPairAt("LD07F3a\r\n", 5), 0x3A);
  EXPECT_EQ(HexPairAt("LD07F3", 5), -1);
  EXPECT_EQ(HexPairAt("GE", 5), -1);  // never reads past the end
}

}  // namespace
}  // namespace qlr
