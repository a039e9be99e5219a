// The registry against what is written by hand beside it: each row's
// synopsis, the man page, the bash completion and docs/cli.md must name the
// same commands and options as the table, so that none of them drifts.
#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/registry.h"

namespace qlr::cli {
namespace {

std::vector<std::string> SourceLines(const std::string& path) {
  std::ifstream file(std::string(QLR_SOURCE_DIR) + "/" + path);
  EXPECT_TRUE(file) << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::set<std::string> Matches(const std::string& text, const char* pattern) {
  const std::regex expression(pattern);
  return {std::sregex_token_iterator(text.begin(), text.end(), expression), {}};
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
  return std::regex_replace(std::regex_replace(text, std::regex(R"(\\f[RBIP])"), ""), std::regex(R"(\\-)"), "-");
}

TEST(CliRegistry, SynopsesNameTheirOptionsAndTheGuideListsThem) {
  std::vector<std::string> listed, expected;
  for (const CommandSpec& command : Registry().commands) {
    EXPECT_EQ(Matches(std::string(command.synopsis), "--[a-z-]+"), LongNames(command)) << command.name;
    expected.push_back("qlr5500 " + std::string(command.synopsis));
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
    synopses.push_back("qlr5500 " + std::string(command.synopsis));
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
  for (const std::string& entry : entries["OPTIONS"]) documented.merge(Matches(entry, R"(--[a-z-]+|\B-[a-z]\b)"));
  EXPECT_EQ(documented, optionNames);
}

TEST(CliRegistry, CompletionOffersEveryCommandAndItsOptions) {
  std::string commands;
  std::map<std::string, std::set<std::string>> offered;
  std::set<std::string> takingFiles;
  const std::regex caseLine(R"(^\s*([a-z][a-z |]*)\)\s*(.*)$)");
  for (const std::string& line : SourceLines("data/qlr5500.bash-completion")) {
    std::smatch match;
    if (line.find("local commands=") != std::string::npos) commands = line.substr(line.find('=') + 1);
    if (!std::regex_match(line, match, caseLine)) continue;
    for (const std::string& label : Matches(match[1], "[a-z]+")) {
      offered[label].merge(Matches(match[2], "--[a-z-]+"));
      if (match[2].str().find("_filedir") != std::string::npos) takingFiles.insert(label);
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
