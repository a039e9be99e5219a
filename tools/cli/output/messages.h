// How qlr5500 speaks on standard error: every message starts with the
// program's name, written here and nowhere else, so that a user (or a log)
// can tell whose words they are.
#pragma once

#include <ostream>
#include <string_view>

#include "cli/cli.h"

namespace qlr::cli {

inline constexpr std::string_view MessagePrefix = "qlr5500: ";

// Starts a message on env.err; the caller writes the rest and its "\n".
inline std::ostream& Tell(const CliEnvironment& env) { return env.err << MessagePrefix; }

}  // namespace qlr::cli
