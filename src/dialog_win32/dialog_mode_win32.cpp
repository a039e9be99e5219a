// Dialog mode on Windows: the template-built dialog, run modally until the
// user closes it. The program has no message loop beyond the dialog's own.
#include "app/dialog_mode.h"
#include "dialog_win32/eeprom_dlg_win32.h"

namespace qlr {

void RunDialogMode(int, char**) {
  CEepromDlgWin32 dialog(GetModuleHandleW(nullptr));
  dialog.RunModal();
}

}  // namespace qlr
