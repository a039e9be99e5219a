#include "dialog_wx/eeprom_dlg.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/gauge.h>
#include <wx/iconbndl.h>
#include <wx/msgdlg.h>
#include <wx/spinbutt.h>
#include <wx/statbox.h>
#include <wx/stdpaths.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

// Needs wx/msgdlg.h before it.
#include <wx/generic/msgdlgg.h>

#include <system_error>

#include "dialog_wx/icon.h"
#include "dialog_wx/wx_gtk_style.h"

namespace qlr {
namespace {

// The dialog's client area in dialog units.
constexpr int DialogWidth = 184;
constexpr int DialogHeight = 91;
constexpr int RowHeight = 12;
constexpr int FontPoints = 8;

// The arrows' own position is never read; after each press it goes back to
// the middle of its range, so that neither arrow ever stops at a limit.
constexpr int SpinRest = 0;
constexpr int SpinRange = 1000;

wxString ToWx(const std::string& text) { return wxString::FromUTF8(text.c_str()); }
wxString ToWx(const std::filesystem::path& path) { return wxString(path.c_str(), *wxConvFileName); }
std::filesystem::path ToPath(const wxString& text) { return std::filesystem::path(std::string(text.fn_str())); }

}  // namespace

void CEepromDlg::GaugeSink::SetRange(int lowest, int highest) {
  // A wxGauge always starts at 0, as the transfers' ranges do.
  dialog_.progress_->SetRange(highest > lowest ? highest - lowest : 1);
}

void CEepromDlg::GaugeSink::SetPosition(int position) {
  dialog_.progress_->SetValue(position);
  dialog_.RepaintWhileBlocked();
}

CEepromDlg::CEepromDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "SaveQLR5500", wxPoint(0, 0), wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  // Boxes are captioned with the executable's name; the program has no title string.
  const wxFileName executable(wxStandardPaths::Get().GetExecutablePath());
  programName_ = executable.GetName().empty() ? wxString("SaveQLR5500") : executable.GetName();
  SetFont(wxFontInfo(FontPoints).Family(wxFONTFAMILY_SWISS));
  CreateControls();
  SetIcons(AppIcons());
  ApplyCompactStyle(*this, ConvertDialogToPixels(wxSize(0, RowHeight)).y);

  Bind(wxEVT_CHAR_HOOK, &CEepromDlg::OnCharHook, this);
  Bind(wxEVT_CLOSE_WINDOW, &CEepromDlg::OnClose, this);
  Bind(wxEVT_SPIN_UP, &CEepromDlg::OnPortSpin, this, IdPortSpin);
  Bind(wxEVT_SPIN_DOWN, &CEepromDlg::OnPortSpin, this, IdPortSpin);
  Bind(wxEVT_BUTTON, &CEepromDlg::OnAutomatic, this, IdAutomatic);
  Bind(wxEVT_BUTTON, &CEepromDlg::OnSaveToFile, this, IdSaveToFile);
  Bind(wxEVT_BUTTON, &CEepromDlg::OnCompareWithFile, this, IdCompareWithFile);
  Bind(wxEVT_BUTTON, &CEepromDlg::OnRestoreFromFile, this, IdRestoreFromFile);
  Bind(wxEVT_BUTTON, &CEepromDlg::OnSetMediumValues, this, IdSetMediumValues);

  CEepromDlg::ShowPort(actions_.SelectedPort());
  portField_->SetFocus();
}

CEepromDlg::~CEepromDlg() {
  // Whatever ended the dialog, the busy cursor must not outlive it.
  while (busy_.Off()) wxEndBusyCursor();
}

void CEepromDlg::CreateControls() {
  const auto at = [this](int x, int y) { return ConvertDialogToPixels(wxPoint(x, y)); };
  const auto size = [this](int w, int h) { return ConvertDialogToPixels(wxSize(w, h)); };
  const long centred = wxALIGN_CENTRE_HORIZONTAL;

  // Creation order is the tab order.
  new wxStaticBox(this, wxID_ANY, "COM-Port", at(2, 2), size(108, 28), centred);
  portField_ = new wxTextCtrl(this, IdPortField, wxEmptyString, at(6, 13), size(16, RowHeight), wxTE_READONLY);
  portSpin_ = new wxSpinButton(this, IdPortSpin, at(24, 13), size(25, RowHeight), wxSP_HORIZONTAL | wxSP_ARROW_KEYS);
  portSpin_->SetRange(-SpinRange, SpinRange);
  portSpin_->SetValue(SpinRest);
  // The arrows answer clicks and arrow keys but are no tab stop.
  portSpin_->DisableFocusFromKeyboard();
  new wxButton(this, IdAutomatic, "Automatic", at(54, 13), size(52, RowHeight));
  wxArrayString regions;
  for (const std::string_view name : RegionNames) regions.Add(wxString(name.data(), name.size()));
  regionList_ =
      new wxComboBox(this, IdRegionList, wxEmptyString, at(117, 13), size(61, RowHeight), regions, wxCB_DROPDOWN);
  new wxStaticBox(this, wxID_ANY, "Country", at(113, 2), size(69, 28), centred);
  new wxStaticBox(this, wxID_ANY, "EEPROM", at(2, 33), size(180, 56), centred);
  new wxButton(this, IdSaveToFile, "Save to File", at(6, 44), size(85, RowHeight));
  new wxButton(this, IdRestoreFromFile, "Restore from File", at(93, 44), size(85, RowHeight));
  new wxButton(this, IdSetMediumValues, "Set Medium-Values", at(93, 59), size(85, RowHeight));
  new wxButton(this, IdCompareWithFile, "Compare with File", at(6, 59), size(85, RowHeight));
  progress_ = new wxGauge(this, IdProgress, 127, at(6, 74), size(172, RowHeight), wxGA_HORIZONTAL);

  for (wxWindow* child : GetChildren()) child->SetFont(GetFont());
  SetClientSize(size(DialogWidth, DialogHeight));
}

void CEepromDlg::OnCharHook(wxKeyEvent& event) {
  const auto end = [this](int result) {
    // A key that reaches us during a transfer is dropped, as a close request is.
    if (actions_.IsBusy()) return;
    if (IsModal()) EndModal(result);
    else Close();
  };
  switch (event.GetKeyCode()) {
    case WXK_ESCAPE: end(wxID_CANCEL); return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
      // Enter on a push button presses it; anywhere else it ends the dialog.
      if (!dynamic_cast<wxButton*>(FindFocus())) {
        end(wxID_OK);
        return;
      }
      break;
    default: break;
  }
  event.Skip();
}

void CEepromDlg::OnClose(wxCloseEvent& event) {
  // The progress bar's repaints let the close box through; a window that
  // vanished mid-write would look like a cancelled one.
  if (actions_.IsBusy() && event.CanVeto()) {
    event.Veto();
    return;
  }
  event.Skip();
}

void CEepromDlg::OnPortSpin(wxSpinEvent& event) {
  // The right half sends "up": it raises the port, as a step of -1 does.
  const int step = event.GetEventType() == wxEVT_SPIN_UP ? -1 : 1;
  actions_.OnPortSpin(step);
  // Only once wx has taken note of this change; a reset from inside the
  // handler would be overwritten and swallow the next press.
  CallAfter([this] { portSpin_->SetValue(SpinRest); });
}

void CEepromDlg::OnAutomatic(wxCommandEvent&) { actions_.OnAutomatic(); }
void CEepromDlg::OnSaveToFile(wxCommandEvent&) { actions_.OnSaveToFile(); }
void CEepromDlg::OnCompareWithFile(wxCommandEvent&) { actions_.OnCompareWithFile(); }
void CEepromDlg::OnRestoreFromFile(wxCommandEvent&) { actions_.OnRestoreFromFile(); }
void CEepromDlg::OnSetMediumValues(wxCommandEvent&) { actions_.OnSetMediumValues(); }

void CEepromDlg::RepaintWhileBlocked() {
  // Paint and other window events only: the user's clicks and keys stay
  // queued until the handler has ended.
  if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
    loop->YieldFor(wxEVT_CATEGORY_UI);
    return;
  }
  wxEventLoop loop;
  loop.YieldFor(wxEVT_CATEGORY_UI);
}

int CEepromDlg::ShowBox(const Message& message, long buttons) {
  const long icon = message.kind == MessageKind::ErrorNotice ? wxICON_ERROR : wxICON_WARNING;
  // GTK 3's own message box shows no icon at all; this one shows the warning
  // and error icons that tell a difference apart from a notice.
  wxGenericMessageDialog box(this, ToWx(message.text), programName_, buttons | icon);
  return box.ShowModal();
}

bool CEepromDlg::Confirm(const Message& message) { return ShowBox(message, wxYES_NO) == wxID_YES; }

void CEepromDlg::Notify(const Message& message) { ShowBox(message, wxOK); }

std::optional<std::filesystem::path> CEepromDlg::ChooseFile(FileDialogKind kind,
                                                            const std::filesystem::path& proposal) {
  const bool saving = kind == FileDialogKind::SaveAs;
  const long style = saving ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : wxFD_OPEN;
  while (true) {
    wxFileDialog chooser(this, saving ? "Save As" : "Open", ToWx(proposal.parent_path()), ToWx(proposal.filename()),
                         wxEmptyString, style);
    if (chooser.ShowModal() != wxID_OK) return std::nullopt;
    // GetPath() may be empty where GetDirectory() and GetFilename() are not.
    const std::filesystem::path chosen = ToPath(chooser.GetDirectory()) / ToPath(chooser.GetFilename());
    const std::filesystem::path path = WithDefaultExtension(chosen, kind);
    if (const auto question = ReplaceQuestion(chosen, path, kind); question && !Confirm(*question)) continue;
    return path;
  }
}

void CEepromDlg::BusyCursorOn() {
  busy_.On();
  wxBeginBusyCursor();
}

void CEepromDlg::BusyCursorOff() {
  if (busy_.Off()) wxEndBusyCursor();
}

void CEepromDlg::ShowPort(int number) {
  portField_->ChangeValue(wxString::Format("%d", number));
  portField_->SetToolTip(ToWx(PortDescription(number)));
}

void CEepromDlg::SelectRegion(int position) {
  if (position >= 0 && position < static_cast<int>(regionList_->GetCount())) {
    regionList_->SetSelection(position);
    return;
  }
  regionList_->SetSelection(wxNOT_FOUND);
  regionList_->ChangeValue(wxEmptyString);
}

void CEepromDlg::SetProgressPosition(int position) { progress_->SetValue(position); }

}  // namespace qlr
