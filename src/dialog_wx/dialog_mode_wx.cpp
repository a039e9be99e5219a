// Dialog mode on wxWidgets: the toolkit is started only here, so the
// snapshot mode never needs a display.
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "app/dialog_mode.h"
#include "dialog_wx/eeprom_dlg.h"

namespace qlr {
namespace {

class DialogApp : public wxApp {
 public:
  // Runs the dialog to its end and declines to go on: no message loop
  // runs beyond the dialog's own.
  bool OnInit() override {
    {
      CEepromDlg dialog(nullptr);
      SetTopWindow(&dialog);
      dialog.ShowModal();
      SetTopWindow(nullptr);
    }
    return false;
  }
};

}  // namespace

void RunDialogMode(int argc, char** argv) {
  // Without a display wx would report its failed start in a message box,
  // which GTK cannot show either: it aborts the process. Said on stderr
  // instead, the program just ends.
  wxLog::SetActiveTarget(new wxLogStderr);
  wxApp::SetInstance(new DialogApp);
  wxEntry(argc, argv);
}

}  // namespace qlr
