// SaveQLR5500: decide the mode from the command line, run it, end.
#include "app/command_tail.h"
#include "app/dialog_mode.h"
#include "app/eeprom_app.h"

int main(int argc, char** argv) {
  qlr::CEepromApp app(qlr::ProgramCommandTail(argc, argv), [argc, argv] { qlr::RunDialogMode(argc, argv); });
  app.InitInstance();
  // The exit status carries no result, in either mode.
  return 0;
}
