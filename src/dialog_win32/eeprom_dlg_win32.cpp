#include "dialog_win32/eeprom_dlg_win32.h"

#include <system_error>

#include "dialog_win32/resource_ids.h"
#include "os/wide_string.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;

// The arrows' own position is never read; it stays in the middle of the
// control's default range (100..0), so neither arrow ever stops at a limit.
constexpr int SpinRest = 50;
constexpr int ProgressHighest = 127;
// Room for any path the file dialog may return, long paths included.
constexpr std::size_t FileNameCapacity = 32768;
constexpr const wchar_t* FallbackCaption = L"SaveQLR5500";

// The executable's file name without its extension.
std::wstring ProgramName() {
  std::wstring buffer(FileNameCapacity, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return FallbackCaption;
  buffer.resize(length);
  const std::wstring stem = fs::path(buffer).stem().wstring();
  return stem.empty() ? FallbackCaption : stem;
}

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), 0));
}

// Win32 hands pointers over as LPARAM and as window data.
template <typename T>
T* PointerFrom(LONG_PTR value) {
  return reinterpret_cast<T*>(value);  // NOLINT(performance-no-int-to-ptr)
}

void SetResult(HWND window, LRESULT result) { SetWindowLongPtrW(window, DWLP_MSGRESULT, result); }

}  // namespace

Win32Prompts Win32Prompts::Real() {
  return {
      [](HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
        return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
      },
      [](FileDialogKind kind, OPENFILENAMEW& request) {
        const BOOL chosen = kind == FileDialogKind::SaveAs ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
        return chosen != FALSE;
      },
  };
}

void CEepromDlgWin32::ProgressBarSink::SetRange(int lowest, int highest) {
  SendMessageW(dialog_.Control(IDC_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(lowest), highest);
}

void CEepromDlgWin32::ProgressBarSink::SetPosition(int position) {
  const HWND bar = dialog_.Control(IDC_PROGRESS);
  // With visual styles a forward move is animated on a timer that the
  // blocked thread never runs; a step back is drawn at once.
  const auto highest = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
  if (position < highest) SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position + 1), 0);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  // Paints the bar alone, dispatching nothing: the user's input stays queued.
  UpdateWindow(bar);
}

CEepromDlgWin32::CEepromDlgWin32(HINSTANCE instance, Win32Prompts prompts)
    : instance_(instance), prompts_(std::move(prompts)), caption_(ProgramName()) {}

CEepromDlgWin32::~CEepromDlgWin32() {
  // Whatever ended the dialog, the busy cursor must not outlive it.
  if (busy_.Count() > 0) SetCursor(cursorBeforeBusy_);
}

INT_PTR CEepromDlgWin32::RunModal(HWND parent) {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  const INT_PTR result = DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_EEPROM_DIALOG), parent, &DialogProc,
                                         reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  portTip_ = nullptr;
  return result;
}

INT_PTR CALLBACK CEepromDlgWin32::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* dialog = PointerFrom<CEepromDlgWin32>(lParam);
    dialog->window_ = window;
    dialog->OnInitDialog();
    // Lets the dialog manager give the focus to the first tab stop.
    return TRUE;
  }
  auto* dialog = PointerFrom<CEepromDlgWin32>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog ? dialog->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CEepromDlgWin32::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: return HIWORD(wParam) == BN_CLICKED && OnCommand(LOWORD(wParam));
    case WM_NOTIFY: {
      const auto* header = PointerFrom<const NMHDR>(lParam);
      if (header->idFrom != IDC_PORT_SPIN || header->code != UDN_DELTAPOS) return FALSE;
      const int step = PointerFrom<const NMUPDOWN>(lParam)->iDelta;
      RunHandler([this, step] { actions_.OnPortSpin(step); });
      // Declines the control's own change, which keeps it at rest.
      SetResult(window_, TRUE);
      return TRUE;
    }
    case WM_CLOSE:
      if (!actions_.IsBusy()) EndDialog(window_, IDCANCEL);
      return TRUE;
    case WM_SETCURSOR:
      if (busy_.Count() == 0) return FALSE;
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      SetResult(window_, TRUE);
      return TRUE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(largeIcon_.get());
    default: return FALSE;
  }
}

void CEepromDlgWin32::OnInitDialog() {
  // Owned by the dialog, it goes with it.
  portTip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance_, nullptr);
  std::wstring none;
  TOOLINFOW tool = PortTool(none);
  SendMessageW(portTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  const HWND regions = Control(IDC_REGION_LIST);
  for (const std::string_view name : RegionNames) {
    SendMessageW(regions, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(name).c_str()));
  }
  ShowPort(actions_.SelectedPort());
  SendMessageW(Control(IDC_PORT_SPIN), UDM_SETPOS32, 0, SpinRest);
  ProgressBar().SetRange(0, ProgressHighest);

  largeIcon_.reset(LoadAppIcon(instance_, SM_CXICON, SM_CYICON));
  smallIcon_.reset(LoadAppIcon(instance_, SM_CXSMICON, SM_CYSMICON));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon_.get()));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
}

bool CEepromDlgWin32::OnCommand(int id) {
  switch (id) {
    case IDOK:
    case IDCANCEL:
      // A close request while a handler runs (from a box's or file dialog's
      // message loop) is refused: the handler still needs the dialog.
      if (!actions_.IsBusy()) EndDialog(window_, id);
      return true;
    case IDC_AUTOMATIC: return RunHandler([this] { actions_.OnAutomatic(); });
    case IDC_SAVE_TO_FILE: return RunHandler([this] { actions_.OnSaveToFile(); });
    case IDC_COMPARE_WITH_FILE: return RunHandler([this] { actions_.OnCompareWithFile(); });
    case IDC_RESTORE_FROM_FILE: return RunHandler([this] { actions_.OnRestoreFromFile(); });
    case IDC_SET_MEDIUM_VALUES: return RunHandler([this] { actions_.OnSetMediumValues(); });
    default: return false;
  }
}

bool CEepromDlgWin32::RunHandler(const std::function<void()>& handler) {
  // A message sent while a box is open must not start a second handler in
  // the middle of the first.
  if (actions_.IsBusy()) return false;
  handler();
  return true;
}

int CEepromDlgWin32::ShowBox(const Message& message, UINT buttons) {
  const UINT icon = message.kind == MessageKind::ErrorNotice ? MB_ICONERROR : MB_ICONWARNING;
  return prompts_.messageBox(window_, Widen(message.text), caption_, buttons | icon);
}

bool CEepromDlgWin32::Confirm(const Message& message) { return ShowBox(message, MB_YESNO) == IDYES; }

void CEepromDlgWin32::Notify(const Message& message) { ShowBox(message, MB_OK); }

std::optional<fs::path> CEepromDlgWin32::ChooseFile(FileDialogKind kind, const fs::path& proposal) {
  while (true) {
    std::wstring buffer = proposal.wstring();
    buffer.resize(std::max(buffer.size() + 1, FileNameCapacity), L'\0');
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = window_;
    request.lpstrFile = buffer.data();
    request.nMaxFile = static_cast<DWORD>(buffer.size());
    request.lpstrDefExt = L"BIN";
    // The current directory stays where the program started, as the next
    // proposal expects.
    request.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!prompts_.fileDialog(kind, request)) return std::nullopt;
    const fs::path chosen(buffer.c_str());
    const fs::path path = WithDefaultExtension(chosen, kind);
    if (const auto question = ReplaceQuestion(chosen, path, kind); question && !Confirm(*question)) continue;
    return path;
  }
}

void CEepromDlgWin32::BusyCursorOn() {
  busy_.On();
  const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  if (busy_.Count() == 1) cursorBeforeBusy_ = previous;
}

void CEepromDlgWin32::BusyCursorOff() {
  if (busy_.Off() && busy_.Count() == 0) SetCursor(cursorBeforeBusy_);
}

TOOLINFOW CEepromDlgWin32::PortTool(std::wstring& text) const {
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Control(IDC_PORT_FIELD));
  tool.lpszText = text.data();
  return tool;
}

void CEepromDlgWin32::ShowPort(int number) {
  SetDlgItemInt(window_, IDC_PORT_FIELD, static_cast<UINT>(number), TRUE);
  // The tip names the device behind the number.
  std::wstring device = Widen(PortDescription(number));
  TOOLINFOW tool = PortTool(device);
  SendMessageW(portTip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CEepromDlgWin32::SelectRegion(int position) {
  // -1 clears the selection and the edit field, as any value out of range.
  const int count = static_cast<int>(SendMessageW(Control(IDC_REGION_LIST), CB_GETCOUNT, 0, 0));
  const int selected = position >= 0 && position < count ? position : -1;
  SendMessageW(Control(IDC_REGION_LIST), CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void CEepromDlgWin32::SetProgressPosition(int position) {
  SendMessageW(Control(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void CEepromDlgWin32::RepaintNow() {
  RedrawWindow(window_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  // A file dialog shown in the middle of the handler took the wait cursor away.
  if (busy_.Count() > 0) SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

}  // namespace qlr
