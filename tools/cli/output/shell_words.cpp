#include "cli/output/shell_words.h"

#include "os/escaped_text.h"

namespace qlr::cli {

std::string Printable(std::string_view text) { return EscapedText(text, false); }

}  // namespace qlr::cli
