#include "cli/output/confirmation.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace qlr::cli {

Confirmation AskToConfirm(std::string_view question, const CliEnvironment& env) {
  if (!env.inputIsTerminal) return Confirmation::NoTerminal;
  env.err << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(env.in, answer)) {
    // Ctrl-D: end the prompt's line before the next message.
    env.err << '\n';
    return Confirmation::No;
  }
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  answer.erase(answer.begin(), std::find_if_not(answer.begin(), answer.end(), blank));
  answer.erase(std::find_if_not(answer.rbegin(), answer.rend(), blank).base(), answer.end());
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "y" || answer == "yes" ? Confirmation::Yes : Confirmation::No;
}

}  // namespace qlr::cli
