// CEepromDlg: the program's one window, a small fixed-size dialog.
//
// Upper section: the port field with its arrows and "Automatic", and the
// "Country" list. Lower section: the four EEPROM buttons and the progress
// bar. The handlers' logic lives in DialogActions; this class lays out the
// controls in dialog units of an 8-point font, routes their events, and is
// the DialogView the handlers talk to. Everything runs on the UI thread.
#pragma once

#include <wx/dialog.h>
#include <wx/string.h>

#include "app/dialog_actions.h"

class wxComboBox;
class wxGauge;
class wxSpinButton;
class wxSpinEvent;
class wxTextCtrl;
class wxCloseEvent;
class wxCommandEvent;
class wxKeyEvent;

namespace qlr {

class CEepromDlg : public wxDialog, private DialogView {
 public:
  // The controls' ids, fixed so that the layout and tests can name them.
  enum ControlId : int {
    IdPortField = 1000,
    IdPortSpin = 1001,
    IdAutomatic = 1002,
    IdRegionList = 1003,
    IdSaveToFile = 1004,
    IdRestoreFromFile = 1005,
    IdSetMediumValues = 1006,
    IdCompareWithFile = 1007,
    IdProgress = 1008,
  };

  // Opens no port: the user picks one with the arrows or "Automatic".
  explicit CEepromDlg(wxWindow* parent = nullptr);
  ~CEepromDlg() override;

  int SelectedPort() const { return actions_.SelectedPort(); }
  DialogActions& Actions() { return actions_; }
  // The busy cursor's nesting count (for tests).
  int BusyLevel() const { return busy_.Count(); }

  // Event handlers, bound to the controls.
  void OnPortSpin(wxSpinEvent& event);
  void OnAutomatic(wxCommandEvent& event);
  void OnSaveToFile(wxCommandEvent& event);
  void OnCompareWithFile(wxCommandEvent& event);
  void OnRestoreFromFile(wxCommandEvent& event);
  void OnSetMediumValues(wxCommandEvent& event);

 private:
  class GaugeSink : public ProgressSink {
   public:
    explicit GaugeSink(CEepromDlg& dialog) : dialog_(dialog) {}
    void SetRange(int lowest, int highest) override;
    void SetPosition(int position) override;

   private:
    CEepromDlg& dialog_;
  };

  void CreateControls();
  void OnCharHook(wxKeyEvent& event);
  void OnClose(wxCloseEvent& event);
  void RepaintWhileBlocked();

  // DialogView
  bool Confirm(const Message& message) override;
  void Notify(const Message& message) override;
  std::optional<std::filesystem::path> ChooseFile(FileDialogKind kind, const std::filesystem::path& proposal) override;
  void BusyCursorOn() override;
  void BusyCursorOff() override;
  void ShowPort(int number) override;
  void SelectRegion(int position) override;
  ProgressSink& ProgressBar() override { return progressSink_; }
  void SetProgressPosition(int position) override;
  void RepaintNow() override { RepaintWhileBlocked(); }

  int ShowBox(const Message& message, long buttons);

  wxString programName_;
  wxTextCtrl* portField_ = nullptr;
  wxSpinButton* portSpin_ = nullptr;
  wxComboBox* regionList_ = nullptr;
  wxGauge* progress_ = nullptr;
  GaugeSink progressSink_{*this};
  BusyCount busy_;
  DialogActions actions_{*this};
};

}  // namespace qlr
