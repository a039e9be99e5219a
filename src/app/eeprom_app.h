// CEepromApp: decides from the command tail which mode the program runs in.
//
//   empty tail     → the dialog
//   "/SAVE"        → the unattended snapshot, no window, nothing reported
//   anything else  → nothing at all: no window, no port touched
#pragma once

#include <functional>
#include <string>

namespace qlr {

class CEepromApp {
 public:
  using DialogMode = std::function<void()>;

  CEepromApp(std::string commandTail, DialogMode runDialog);
  virtual ~CEepromApp() = default;

  // Runs the chosen mode to its end. Always false: the program ends then.
  bool InitInstance();

 private:
  std::string commandTail_;
  DialogMode runDialog_;
};

}  // namespace qlr
