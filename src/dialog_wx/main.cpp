// SaveQLR5500 with its wxWidgets window: decide the mode from the command
// line, run it, end. The toolkit is started only for the dialog, so the
// snapshot mode never needs a display.
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "app/command_tail.h"
#include "app/eeprom_app.h"
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

void RunDialog(int argc, char** argv) {
  // Without a display wx would report its failed start in a message box,
  // which GTK cannot show either: it aborts the process. Said on stderr
  // instead, the program just ends.
  wxLog::SetActiveTarget(new wxLogStderr);
  wxApp::SetInstance(new DialogApp);
  wxEntry(argc, argv);
}

}  // namespace
}  // namespace qlr

int main(int argc, char** argv) {
  qlr::CEepromApp app(qlr::ProgramCommandTail(argc, argv), [argc, argv] { qlr::RunDialog(argc, argv); });
  app.InitInstance();
  // The exit status carries no result, in either mode.
  return 0;
}
