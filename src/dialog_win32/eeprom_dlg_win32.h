// CEepromDlgWin32: the program's one window on Windows, a modal dialog built
// from the resource template IDD_EEPROM_DIALOG (eeprom_dlg.rc), which holds
// the controls' ids, texts, positions, styles and tab order.
//
// The handlers' logic lives in DialogActions; this class routes the
// template's notifications to them and is the DialogView they talk to. Its
// message boxes and file dialogs go through Win32Prompts, which tests
// replace to answer them. Everything runs on the thread that calls RunModal.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "app/dialog_actions.h"

namespace qlr {

// The modal prompts the dialog shows: the real ones by default.
struct Win32Prompts {
  // As MessageBoxW: IDYES, IDNO or IDOK.
  std::function<int(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style)> messageBox;
  // As GetSaveFileNameW (SaveAs) or GetOpenFileNameW (Open): true with the
  // chosen path in request.lpstrFile, false on Cancel or failure.
  std::function<bool(FileDialogKind kind, OPENFILENAMEW& request)> fileDialog;

  static Win32Prompts Real();
};

class CEepromDlgWin32 final : private DialogView {
 public:
  // Opens no port: the user picks one with the arrows or "Automatic".
  // `instance` is the module holding the template and the icon.
  explicit CEepromDlgWin32(HINSTANCE instance, Win32Prompts prompts = Win32Prompts::Real());
  ~CEepromDlgWin32() override;
  CEepromDlgWin32(const CEepromDlgWin32&) = delete;
  CEepromDlgWin32& operator=(const CEepromDlgWin32&) = delete;

  // Shows the dialog and returns when the user has closed it: IDOK (Enter)
  // or IDCANCEL (Escape, the close box), or -1 if it could not be created.
  INT_PTR RunModal(HWND parent = nullptr);

  // The dialog's window while RunModal runs, null otherwise.
  HWND Window() const { return window_; }
  DialogActions& Actions() { return actions_; }
  // The busy cursor's nesting count.
  int BusyLevel() const { return busy_.Count(); }

 private:
  class ProgressBarSink : public ProgressSink {
   public:
    explicit ProgressBarSink(const CEepromDlgWin32& dialog) : dialog_(dialog) {}
    void SetRange(int lowest, int highest) override;
    void SetPosition(int position) override;

   private:
    const CEepromDlgWin32& dialog_;
  };

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  bool OnCommand(int id);
  // Runs one handler of actions_; false (nothing run) while another one is running.
  bool RunHandler(const std::function<void()>& handler);
  HWND Control(int id) const { return GetDlgItem(window_, id); }
  // The port field's tooltip, showing `text` (which must outlive the call).
  TOOLINFOW PortTool(std::wstring& text) const;
  int ShowBox(const Message& message, UINT buttons);

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
  void RepaintNow() override;

  struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
  };
  using OwnedIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

  HINSTANCE instance_;
  Win32Prompts prompts_;
  std::wstring caption_;
  HWND window_ = nullptr;
  HWND portTip_ = nullptr;
  OwnedIcon largeIcon_;
  OwnedIcon smallIcon_;
  HCURSOR cursorBeforeBusy_ = nullptr;
  BusyCount busy_;
  ProgressBarSink progressSink_{*this};
  DialogActions actions_{*this};
};

}  // namespace qlr
