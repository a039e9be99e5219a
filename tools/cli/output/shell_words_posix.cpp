#include "cli/output/shell_words.h"
#include "os/shell_word_posix.h"

namespace qlr::cli {

std::string ShellQuoted(std::string_view word) { return PosixShellWord(word); }

}  // namespace qlr::cli
