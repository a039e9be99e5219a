#include "cli/output/progress_bar.h"

#include <algorithm>
#include <cstdio>

namespace qlr::cli {

std::string RenderProgress(std::string_view label, int done, int total, int width) {
  done = std::clamp(done, 0, std::max(total, 0));
  const int filled = total > 0 ? done * width / total : 0;
  char count[32];
  std::snprintf(count, sizeof count, "%4d/%d", done, total);
  return std::string(label) + "  [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(width - filled), '-') + "]" + count;
}

TerminalProgressBar::TerminalProgressBar(std::ostream& terminal, std::string label)
    : terminal_(terminal), label_(std::move(label)) {}

TerminalProgressBar::~TerminalProgressBar() { Finish(); }

void TerminalProgressBar::SetRange(int lowest, int highest) {
  lowest_ = lowest;
  highest_ = highest;
  Draw(0);
}

void TerminalProgressBar::SetPosition(int position) { Draw(position - lowest_ + 1); }

void TerminalProgressBar::Finish() {
  if (finished_) return;
  finished_ = true;
  if (shown_ >= 0) terminal_ << '\n' << std::flush;
}

void TerminalProgressBar::Draw(int done) {
  if (finished_ || done == shown_) return;
  shown_ = done;
  // \r and erase-to-end-of-line redraw the bar in place.
  terminal_ << '\r' << RenderProgress(label_, done, highest_ - lowest_ + 1, BarWidth) << "\x1b[K" << std::flush;
}

}  // namespace qlr::cli
