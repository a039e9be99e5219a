#include "cli/command_line/arguments.h"

#include <algorithm>

#include "link/device_name.h"
#include "os/decimal.h"

namespace qlr::cli {
namespace {

std::string OperandMistake(const CommandSpec& command, std::size_t given) {
  const std::string name(command.name);
  const std::string operand(command.operand);
  if (static_cast<int>(given) < command.minOperands) {
    return name + (command.minOperands == 2 ? " needs two " + operand + "s" : " needs a " + operand);
  }
  if (command.maxOperands == 0) return name + " takes no " + operand;
  return name + (command.maxOperands == 2 ? " takes two " + operand + "s" : " takes one " + operand) + ", not " +
         std::to_string(given);
}

// The option `word` is; a value written into it ("--port=3") goes to `inlineValue`.
const OptionSpec* MatchOption(const CommandTable& table, std::string_view word,
                              std::optional<std::string>& inlineValue) {
  for (const OptionSpec* option : table.options) {
    if (word == option->longName || (!option->shortName.empty() && word == option->shortName)) return option;
    const std::string withValue = std::string(option->longName) + "=";
    if (option->store && word.starts_with(withValue)) {
      inlineValue = std::string(word.substr(withValue.size()));
      return option;
    }
  }
  return nullptr;
}

}  // namespace

bool CommandSpec::Takes(const OptionSpec& option) const {
  return std::find(options.begin(), options.end(), &option) != options.end();
}

std::string CommandSpec::Synopsis() const {
  std::string text(name);
  for (const OptionSpec* option : options) {
    text += " [" + std::string(option->longName) + (option->valueName.empty() ? "" : " ") +
            std::string(option->valueName) + "]";
  }
  return operands.empty() ? text : text + " " + std::string(operands);
}

const CommandSpec* CommandTable::Find(std::string_view name) const {
  for (const CommandSpec& command : commands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::optional<PortSpec> ParsePortSpec(std::string_view text, std::string& error) {
  if (IsDecimal(text)) {
    const std::optional<int> number = ParseDecimal(text, 1, 16);
    if (!number) {
      error = "port " + std::string(text) + " does not exist: port numbers are 1 to 16";
      return std::nullopt;
    }
    return PortSpec{*number, {}};
  }
  return PortSpec{0, DeviceOfName(text)};
}

ParseOutcome ParseArguments(const std::vector<std::string>& arguments, const CommandTable& table) {
  ParseOutcome outcome;
  Invocation& call = outcome.invocation;
  std::vector<const OptionSpec*> given;
  const auto wasGiven = [&given](const OptionSpec* option) {
    return std::find(given.begin(), given.end(), option) != given.end();
  };
  std::string mistake;
  const auto note = [&mistake](std::string text) {
    if (mistake.empty()) mistake = std::move(text);
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    const bool isOption = !optionsEnded && word.size() > 1 && word[0] == '-';
    if (!isOption) {
      if (!call.command) {
        call.command = table.Find(word);
        if (!call.command) {
          note("unknown command '" + word + "'");
          continue;
        }
        if (call.command->IsHelp()) call.help = true;
      } else {
        call.operands.push_back(word);
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "-h" || word == "--help") {
      call.help = true;
      continue;
    }
    if (word == "--version") {
      call.version = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    const OptionSpec* option = MatchOption(table, word, inlineValue);
    if (!option) {
      note("unknown option '" + word + "'");
      continue;
    }
    std::string value;
    if (option->store) {
      if (inlineValue) {
        value = std::move(*inlineValue);
      } else if (i + 1 < arguments.size()) {
        value = arguments[++i];
      } else {
        note(word + " needs " + std::string(option->valueNeeded));
        continue;
      }
      if (value.empty()) {
        note(std::string(option->longName) + " needs " + std::string(option->valueNeeded));
        continue;
      }
    }
    if (wasGiven(option)) note(std::string(option->longName) + " given twice");
    given.push_back(option);
    std::string error;
    if (option->store && !option->store(value, call, error)) note(error);
    if (option->flag) call.*(option->flag) = true;
  }

  if (mistake.empty() && call.command) {
    const CommandSpec& command = *call.command;
    for (const OptionSpec* option : table.options) {
      if (wasGiven(option) && !command.Takes(*option)) {
        note(std::string(command.name) + " does not take " + std::string(option->longName));
      }
    }
    const std::size_t count = call.operands.size();
    // A help request is answered whatever else the line holds.
    const bool countMatters = !call.help || command.IsHelp();
    if (countMatters &&
        (static_cast<int>(count) < command.minOperands || static_cast<int>(count) > command.maxOperands)) {
      note(OperandMistake(command, count));
    }
    if (command.IsHelp() && count == 1 && !table.Find(call.operands[0])) {
      note("unknown command '" + call.operands[0] + "'");
    }
  }
  if (mistake.empty() && !call.command && !call.help && !call.version) note("no command given");
  outcome.error = std::move(mistake);
  return outcome;
}

}  // namespace qlr::cli
