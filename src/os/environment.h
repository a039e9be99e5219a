// The environment variables a program was started with, read once and handed
// down, so that nothing below the program's main asks the process for them
// and a test can give its own.
//
// Names and values are UTF-8 (a Windows main converts its wide environment).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qlr {

class Environment {
 public:
  Environment() = default;
  Environment(std::initializer_list<std::pair<const std::string, std::string>> variables) : variables_(variables) {}

  // From "NAME=value" entries such as a POSIX `environ` (ended by a null).
  static Environment FromEntries(const char* const* entries) {
    Environment environment;
    for (; entries != nullptr && *entries != nullptr; ++entries) environment.SetEntry(*entries);
    return environment;
  }

  // One "NAME=value" entry; an entry without a name (Windows keeps "=C:=C:\x") is passed by.
  void SetEntry(std::string_view entry) {
    const std::size_t equals = entry.find('=', 1);
    if (equals != std::string_view::npos && entry.front() != '=') {
      Set(std::string(entry.substr(0, equals)), std::string(entry.substr(equals + 1)));
    }
  }

  // The value of `name`, which may be empty; none when it is unset.
  std::optional<std::string> Get(std::string_view name) const {
    const auto found = variables_.find(name);
    if (found == variables_.end()) return std::nullopt;
    return found->second;
  }
  // The same, with an empty value taken for unset.
  std::optional<std::string> GetNonEmpty(std::string_view name) const {
    std::optional<std::string> value = Get(name);
    if (value && value->empty()) value.reset();
    return value;
  }

  void Set(std::string name, std::string value) { variables_.insert_or_assign(std::move(name), std::move(value)); }
  void Unset(std::string_view name) {
    if (const auto found = variables_.find(name); found != variables_.end()) variables_.erase(found);
  }

 private:
  std::map<std::string, std::string, std::less<>> variables_;
};

}  // namespace qlr
