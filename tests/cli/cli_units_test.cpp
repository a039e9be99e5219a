// The CLI's pure parts: argument parsing, output formats, messages, prompt.
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "cli/command_line/arguments.h"
#include "cli/command_line/registry.h"
#include "cli/output/confirmation.h"
#include "cli/output/formatting.h"
#include "cli/output/link_messages.h"
#include "cli/output/progress_bar.h"
#include "link/region_names.h"

namespace qlr::cli {
namespace {

struct ParseCase {
  std::vector<std::string> words;
  std::string error;  // a part of the expected message; empty: sound
};

TEST(CliArguments, AcceptsOrRejectsCommandLines) {
  const ParseCase cases[] = {
      {{"read", "--port", "3", "a.bin"}, ""},
      {{"read", "-p", "/dev/ttyUSB0", "--no-clobber", "a.bin"}, ""},
      {{"--port=16", "write", "--yes", "--", "-odd.bin"}, ""},
      {{"find", "--all"}, ""},
      {{"diff", "a", "b"}, ""},
      {{"help", "write"}, ""},
      {{"compare", "--help"}, ""},
      {{}, "no command given"},
      {{"frob"}, "unknown command 'frob'"},
      {{"help", "frob"}, "unknown command 'frob'"},
      {{"read"}, "read needs a file"},
      {{"read", "a", "b"}, "read takes one file, not 2"},
      {{"diff", "a"}, "diff needs two files"},
      {{"medium", "x"}, "medium takes no file"},
      {{"read", "--port", "0", "a"}, "port numbers are 1 to 16"},
      {{"read", "--port", "17", "a"}, "port numbers are 1 to 16"},
      {{"read", "--port", "99999999999999999999", "a"}, "port numbers are 1 to 16"},
      {{"read", "a", "--port"}, "--port needs a port number"},
      {{"read", "--port=", "a"}, "--port needs a port number"},
      {{"read", "-p", "1", "-p", "2", "a"}, "--port given twice"},
      {{"read", "--yes", "a"}, "read does not take --yes"},
      {{"dump", "--port", "1", "a"}, "dump does not take --port"},
      {{"write", "--frob", "a"}, "unknown option '--frob'"},
      {{"write", "--force", "a"}, "write does not take --force"},
      {{"undo", "2", "3"}, "undo takes one change number, not 2"},
      {{"help", "read", "write"}, "help takes one command, not 2"},
      {{"read", "-p", "", "a"}, "--port needs a port number"},
      {{"history", "--backup-dir="}, "--backup-dir needs a folder"},
  };
  for (const ParseCase& c : cases) {
    const ParseOutcome outcome = ParseArguments(c.words, Registry());
    if (c.error.empty()) {
      EXPECT_EQ(outcome.error, "") << ::testing::PrintToString(c.words);
    } else {
      EXPECT_NE(outcome.error.find(c.error), std::string::npos)
          << ::testing::PrintToString(c.words) << " gave: " << outcome.error;
    }
  }
}

TEST(CliArguments, KeepsWhatTheCommandNeeds) {
  const Invocation call = ParseArguments({"--port=16", "write", "-y", "--", "-odd.bin"}, Registry()).invocation;
  EXPECT_EQ(call.command, Registry().Find("write"));
  ASSERT_TRUE(call.port);
  EXPECT_EQ(call.port->number, 16);
  EXPECT_TRUE(call.yes);
  EXPECT_EQ(call.operands, std::vector<std::string>{"-odd.bin"});

  std::string error;
  EXPECT_EQ(ParsePortSpec("007", error)->number, 7);
  EXPECT_EQ(ParsePortSpec("ttyUSB0", error)->device, "/dev/ttyUSB0");
  EXPECT_EQ(ParsePortSpec("./link", error)->device, "./link");
}

TEST(CliFormatting, DumpsSixteenBytesPerRow) {
  const std::string dump = FormatHexDump(MediumValues);
  EXPECT_EQ(dump.substr(0, dump.find('\n')), "0x00  00 00 52 58 69 00 00 00 3E 4F 60 74 8C A6 BB D0");
  EXPECT_NE(dump.find("\n0x70  B5 B7 4A 42 38 96 4E 9F 6D C2 7F C2 A8 09 05 05\n"), std::string::npos);
  EXPECT_EQ(std::count(dump.begin(), dump.end(), '\n'), 8);
}

TEST(CliFormatting, ListsOnlyTheDifferingAddresses) {
  EepromImage a{};
  EepromImage b{};
  EXPECT_EQ(FormatDifferences(a, b, "receiver", "file"), "");
  b[0x05] = 0x3A;
  b[0x7F] = 0xFF;
  EXPECT_EQ(FormatDifferences(a, b, "receiver", "file"),
            "address  receiver  file\n"
            "0x05     00        3A\n"
            "0x7F     00        FF\n");
  EXPECT_EQ(FormatDifferences(a, b, "receiver", "file", 2), FormatDifferences(a, b, "receiver", "file"));
  EXPECT_EQ(FormatDifferences(a, b, "receiver", "file", 1),
            "address  receiver  file\n"
            "0x05     00        3A\n"
            "... and 1 more\n");
}

TEST(CliFormatting, NamesTheSixteenRegions) {
  const std::pair<int, std::string> regions[] = {{0, "0 JAPAN\n"},       {2, "2 EUR/AUS\n"},   {13, "13 FCC CAN\n"},
                                                 {15, "15 FCC GENE2\n"}, {16, "16 unknown\n"}, {255, "255 unknown\n"}};
  for (const auto& [code, text] : regions) EXPECT_EQ(FormatRegion(code), text);
}

TEST(CliProgress, FillsTheBarAndEndsItsLine) {
  EXPECT_EQ(RenderProgress("reading", 64, 128, 8), "reading  [####----]  64/128");
  EXPECT_EQ(RenderProgress("writing", 128, 128, 8), "writing  [########] 128/128");
  std::ostringstream terminal;
  {
    TerminalProgressBar bar(terminal, "reading");
    bar.SetRange(0, 127);
    for (int address = 0; address < 128; ++address) bar.SetPosition(address);
  }
  const std::string shown = terminal.str();
  EXPECT_NE(shown.find("128/128"), std::string::npos);
  EXPECT_EQ(shown.back(), '\n');
  // Redrawn once per address, not more.
  EXPECT_EQ(std::count(shown.begin(), shown.end(), '\r'), 129);
}

TEST(CliMessages, SayWhatToDoAboutEachFailure) {
  using Kind = LinkFailureKind;
  struct Case {
    Kind kind;  // before the error number has its say
    std::string step;
    int sysErrno;
    std::string device;
    std::string expected;
  };
  const Case cases[] = {
      {Kind::SystemError, "open /dev/ttyUSB0", EACCES, "/dev/ttyUSB0",
       "permission denied on /dev/ttyUSB0: add your user to the uucp group (and log in again) "
       "(failed step: open /dev/ttyUSB0)"},
      {Kind::SystemError, "open /dev/ttyUSB9", ENOENT, "/dev/ttyUSB9",
       "no such device: /dev/ttyUSB9 (failed step: open /dev/ttyUSB9)"},
      {Kind::NoDevice, "open port 5: no such device", ENODEV, "",
       "no such device: port 5 has none ('qlr5500 ports' lists them)"},
      {Kind::SystemError, "open /dev/ttyS0", EBUSY, "/dev/ttyS0",
       "device busy: /dev/ttyS0 is in use by another program"},
      {Kind::SystemError, "open /tmp/x", ENOTTY, "/tmp/x", "/tmp/x is not a serial device"},
      {Kind::WriteFailed, "write to /dev/ttyUSB0", EIO, "/dev/ttyUSB0",
       "input/output error on /dev/ttyUSB0: was it unplugged?"},
      {Kind::NoAnswer, "no answer to G300", 0, "/dev/ttyUSB0",
       "no answer from the receiver on /dev/ttyUSB0: is it connected and switched on? (failed step: no answer to "
       "G300)"},
      {Kind::WrongAnswer, "address 5 answered LD005xx", 0, "/dev/ttyUSB0",
       "the receiver on /dev/ttyUSB0 failed (failed step: address 5 answered LD005xx)"},
      {Kind::ValueNotKept, "address 10 holds 00 after writing 3A", 0, "/dev/ttyUSB0",
       "the receiver on /dev/ttyUSB0 did not keep a value written (failed step: address 10 holds 00 after writing 3A)"},
  };
  for (const Case& c : cases) {
    LinkFailure failure;
    failure.kind = KindOfSystemError(c.sysErrno, c.kind);
    failure.sysErrno = c.sysErrno;
    failure.step = c.step;
    const std::string text = DescribeLinkFailure(failure, c.device, 5, "uucp");
    EXPECT_EQ(text.substr(0, c.expected.size()), c.expected) << text;
  }
}

TEST(CliConfirmation, OnlyYesConfirms) {
  const std::pair<std::string, Confirmation> answers[] = {{"y\n", Confirmation::Yes},   {" YES \n", Confirmation::Yes},
                                                          {"n\n", Confirmation::No},    {"\n", Confirmation::No},
                                                          {"yess\n", Confirmation::No}, {"", Confirmation::No}};
  for (const auto& [typed, expected] : answers) {
    std::istringstream in(typed);
    std::ostringstream out, err;
    const CliEnvironment env{in, out, err, true, true};
    EXPECT_EQ(AskToConfirm("write?", env), expected) << typed;
    EXPECT_EQ(err.str().rfind("write? [y/N] ", 0), 0u);
  }
  std::istringstream in("y\n");
  std::ostringstream out, err;
  EXPECT_EQ(AskToConfirm("write?", {in, out, err, false, true}), Confirmation::NoTerminal);
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace qlr::cli
