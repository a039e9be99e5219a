// SaveQLR5500 on Windows: decide the mode from the command line, run it,
// end. The dialog mode runs the template-built dialog modally until the user
// closes it; the program has no message loop beyond the dialog's own.
#include "app/command_tail.h"
#include "app/eeprom_app.h"
#include "dialog_win32/eeprom_dlg_win32.h"

int main(int argc, char** argv) {
  qlr::CEepromApp app(qlr::ProgramCommandTail(argc, argv), [] {
    qlr::CEepromDlgWin32 dialog(GetModuleHandleW(nullptr));
    dialog.RunModal();
  });
  app.InitInstance();
  // The exit status carries no result, in either mode.
  return 0;
}
