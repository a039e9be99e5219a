// A progress bar for EEPROM transfers, drawn on a terminal (standard error).
// qlr5500 makes one only when standard error is a terminal, so nothing of it
// reaches a pipe or a log file.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "link/progress_sink.h"

namespace qlr::cli {

// "reading  [##########----------]   64/128": `done` of `total` items.
std::string RenderProgress(std::string_view label, int done, int total, int width);

class TerminalProgressBar final : public ProgressSink {
 public:
  static constexpr int BarWidth = 32;

  TerminalProgressBar(std::ostream& terminal, std::string label);
  // Ends the bar's line, so that whatever follows starts on a fresh one.
  ~TerminalProgressBar() override;
  TerminalProgressBar(const TerminalProgressBar&) = delete;
  TerminalProgressBar& operator=(const TerminalProgressBar&) = delete;

  void SetRange(int lowest, int highest) override;
  void SetPosition(int position) override;
  // Ends the line now; later calls draw nothing. Harmless when nothing was drawn.
  void Finish();

 private:
  void Draw(int done);

  std::ostream& terminal_;
  std::string label_;
  int lowest_ = 0;
  int highest_ = -1;
  int shown_ = -1;  // the `done` count on screen; -1 before the first drawing
  bool finished_ = false;
};

}  // namespace qlr::cli
