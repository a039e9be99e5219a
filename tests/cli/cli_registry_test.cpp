// The registry against what is written by hand beside it: each row's
// synopsis, the man page, the bash completion and docs/cli.md must name the
// same commands and options as the table, so that none of them drifts.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iomanip>
#include <map>
#include <set>
#include <sstream>

#include "cli/command_line/registry.h"

namespace qlr::cli {
namespace {

std::vector<std::string> SourceLines(const std::string& path) {
  std::ifstream file(std::string(QLR_SOURCE_DIR) + "/" + path);
  EXPECT_TRUE(file) << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || c == '-'; }

// The option names in a text: "--port" and, with `shortToo`, "-p" standing alone.
std::set<std::string> OptionsIn(const std::string& text, bool shortToo = false) {
  std::set<std::string> names;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    const bool wordBefore = i > 0 && (IsNameChar(text[i - 1]) || std::isalnum(static_cast<unsigned char>(text[i - 1])));
    if (text[i] != '-' || wordBefore) continue;
    std::size_t end = i + 1;
    if (text[end] == '-') {
      while (end < text.size() && IsNameChar(text[end])) ++end;
      if (end > i + 2) names.insert(text.substr(i, end - i));
    } else if (shortToo && std::islower(static_cast<unsigned char>(text[end])) &&
               (end + 1 == text.size() || !std::isalnum(static_cast<unsigned char>(text[end + 1])))) {
      names.insert(text.substr(i, 2));
    }
    i = end;
  }
  return names;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::set<std::string> LongNames(const CommandSpec& command) {
  std::set<std::string> names;
  for (const OptionSpec* option : command.options) names.emplace(option->longName);
  return names;
}

// What a man page line shows: ".RB [ \-\-port" is "[--port", ".BI read \" FILE\"" is "read FILE".
std::string Shown(const std::string& line) {
  std::istringstream words(line);
  std::string macro, word, text;
  words >> macro;
  while (words >> std::quoted(word, '"', '\x01')) text += (text.empty() || macro.size() == 3 ? "" : " ") + word;
  for (const char* font : {"\\fR", "\\fB", "\\fI", "\\fP"}) text = ReplaceAll(text, font, "");
  return ReplaceAll(text, "\\-", "-");
}

TEST(CliRegistry, SynopsesNameTheirOptionsAndTheGuideListsThem) {
  std::vector<std::string> listed, expected;
  for (const CommandSpec& command : Registry().commands) {
    EXPECT_EQ(OptionsIn(command.Synopsis()), LongNames(command)) << command.name;
    expected.push_back("qlr5500 " + command.Synopsis());
  }
  for (const std::string& line : SourceLines("docs/cli.md")) {
    if (line.starts_with("| `qlr5500 ")) listed.push_back(line.substr(3, line.find('`', 3) - 3));
  }
  EXPECT_EQ(listed, expected);
}

TEST(CliRegistry, ManPageListsEveryCommandAndOption) {
  // The SYNOPSIS entries (split at .br) and the first lines of .TP entries, by section.
  std::map<std::string, std::vector<std::string>> entries;
  std::string section;
  bool afterTp = false;
  for (const std::string& line : SourceLines("docs/qlr5500.1")) {
    if (line.starts_with(".SH ")) {
      section = line.substr(4);
    } else if (section == "SYNOPSIS") {
      std::vector<std::string>& synopses = entries[section];
      if (synopses.empty() || line == ".br") synopses.emplace_back();
      if (line != ".br") synopses.back() += (synopses.back().empty() ? "" : " ") + Shown(line);
    } else if (std::exchange(afterTp, line == ".TP")) {
      entries[section].push_back(Shown(line));
    }
  }
  std::vector<std::string> synopses, described;
  std::set<std::string> optionNames = {"-h", "--help", "--version"}, documented;
  for (const CommandSpec& command : Registry().commands) {
    if (command.IsHelp()) continue;
    synopses.push_back("qlr5500 " + command.Synopsis());
    described.emplace_back(command.name);
  }
  for (const OptionSpec* option : Registry().options) {
    optionNames.insert({std::string(option->longName), std::string(option->shortName)});
  }
  optionNames.erase("");
  ASSERT_FALSE(entries["SYNOPSIS"].empty());
  EXPECT_NE(entries["SYNOPSIS"].back().find("[help [COMMAND]]"), std::string::npos) << entries["SYNOPSIS"].back();
  entries["SYNOPSIS"].pop_back();
  EXPECT_EQ(entries["SYNOPSIS"], synopses);
  for (std::string& entry : entries["COMMANDS"]) entry = entry.substr(0, entry.find(' '));
  EXPECT_EQ(entries["COMMANDS"], described);
  for (const std::string& entry : entries["OPTIONS"]) documented.merge(OptionsIn(entry, true));
  EXPECT_EQ(documented, optionNames);
}

TEST(CliRegistry, CompletionOffersEveryCommandAndItsOptions) {
  std::string commands;
  std::map<std::string, std::set<std::string>> offered;
  std::set<std::string> takingFiles;
  for (const std::string& line : SourceLines("data/qlr5500.bash-completion")) {
    if (line.find("local commands=") != std::string::npos) commands = line.substr(line.find('=') + 1);
    // A case label of command names, "read | write)", and what it offers.
    const std::size_t start = line.find_first_not_of(' ');
    const std::size_t close = line.find(')');
    if (start == std::string::npos || close == std::string::npos || close <= start || !std::islower(line[start])) {
      continue;
    }
    const std::string labels = line.substr(start, close - start);
    if (labels.find_first_not_of("abcdefghijklmnopqrstuvwxyz |") != std::string::npos) continue;
    const std::string offers = line.substr(close + 1);
    std::istringstream words(labels);
    for (std::string label; words >> label;) {
      if (label == "|") continue;
      offered[label].merge(OptionsIn(offers));
      if (offers.find("_filedir") != std::string::npos) takingFiles.insert(label);
    }
  }
  std::string names;
  for (const CommandSpec& command : Registry().commands) {
    const std::string name(command.name);
    names += (names.empty() ? "" : " ") + name;
    EXPECT_EQ(offered[name], LongNames(command)) << name;
    EXPECT_EQ(takingFiles.contains(name), command.TakesFiles()) << name;
  }
  EXPECT_EQ(commands, "\"" + names + "\"");
}

}  // namespace
}  // namespace qlr::cli
