// The native dialog, run modally as the program runs it (under Wine in CI):
// its geometry from the template, and what reaches the emulated receiver.
// Each test's steps run inside the dialog's own message loop; boxes and file
// dialogs are answered through its prompt seam, and one that no step
// expected fails the test instead of waiting for a user.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "dialog_win32/eeprom_dlg_win32.h"
#include "dialog_win32/resource_ids.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* Caption = L"dialog_win32_gui_test";  // this executable's name
constexpr UINT WatchdogMilliseconds = 60000;
constexpr INT_PTR EndedByWatchdog = -2;

// Where the wrapper script put the emulated receiver: its port number (the
// first QLR5500_PORTS entry with a device) and the log of its commands.
int EmulatorPort() {
  const char* ports = std::getenv("QLR5500_PORTS");
  if (!ports || !std::getenv("QLR_EMULATOR_LOG")) return 0;
  int number = 1;
  for (const char* at = ports; *at == ';'; ++at) ++number;
  return number;
}

// Commands in the log ending in `command`; 0 without an emulator.
int CommandsReceived(const std::string& command) {
  const char* path = std::getenv("QLR_EMULATOR_LOG");
  if (!path) return 0;
  std::ifstream log(path);
  int count = 0;
  for (std::string line; std::getline(log, line);) {
    count += line.size() >= command.size() && line.compare(line.size() - command.size(), command.size(), command) == 0;
  }
  return count;
}

int EmulatorRegion() { return std::atoi(std::getenv("QLR_EMULATOR_REGION") ? std::getenv("QLR_EMULATOR_REGION") : "-1"); }

struct ExpectedBox {
  std::string text;
  UINT style;
  int answer;
  std::function<void()> whileShown = {};
};

// A file dialog's answer: a name put in the request's buffer, or Cancel.
struct ExpectedFileDialog {
  FileDialogKind kind;
  std::optional<std::wstring> choice;
};

class DialogWin32Test : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(boxes.empty()) << boxes.size() << " expected boxes never shown";
    EXPECT_TRUE(fileDialogs.empty()) << fileDialogs.size() << " expected file dialogs never shown";
    EXPECT_EQ(dialog.BusyLevel(), 0);
  }

  // Runs the dialog modally, runs `steps` once it is up, then presses
  // Escape in it; returns how the modal run ended.
  INT_PTR RunWith(std::function<void(HWND)> steps) {
    steps_ = std::move(steps);
    running_ = this;
    // Thread timers: their ids are the ones SetTimer hands out.
    stepsTimer_ = SetTimer(nullptr, 0, 0, &OnTimer);
    watchdogTimer_ = SetTimer(nullptr, 0, WatchdogMilliseconds, &OnTimer);
    const INT_PTR result = dialog.RunModal();
    KillTimer(nullptr, stepsTimer_);
    KillTimer(nullptr, watchdogTimer_);
    running_ = nullptr;
    return result;
  }

  HWND Item(int id) const { return GetDlgItem(dialog.Window(), id); }
  void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  int PortField() const { return static_cast<int>(GetDlgItemInt(dialog.Window(), IDC_PORT_FIELD, nullptr, TRUE)); }
  std::wstring RegionField() const {
    wchar_t text[64] = {};
    GetDlgItemTextW(dialog.Window(), IDC_REGION_LIST, text, 64);
    return text;
  }
  int Bar() const { return static_cast<int>(SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }
  // A press on the left or right half of the port arrows, as a mouse gives it.
  void PressArrow(bool right) {
    RECT area;
    GetClientRect(Item(IDC_PORT_SPIN), &area);
    const LPARAM at = MAKELPARAM(right ? area.right - 3 : 3, area.bottom / 2);
    SendMessageW(Item(IDC_PORT_SPIN), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Item(IDC_PORT_SPIN), WM_LBUTTONUP, 0, at);
  }

  std::deque<ExpectedBox> boxes;
  std::deque<ExpectedFileDialog> fileDialogs;
  std::vector<OPENFILENAMEW> fileRequests;
  CEepromDlgWin32 dialog{GetModuleHandleW(nullptr), Prompts()};

 private:
  Win32Prompts Prompts() {
    return {
        [this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
          if (boxes.empty()) {
            ADD_FAILURE() << "unexpected box";
            return IDNO;
          }
          const ExpectedBox expected = boxes.front();
          boxes.pop_front();
          EXPECT_EQ(text, Widen(expected.text));
          EXPECT_EQ(caption, Caption);
          EXPECT_EQ(style, expected.style) << expected.text;
          EXPECT_EQ(owner, dialog.Window()) << "not owned by the dialog";
          if (expected.whileShown) expected.whileShown();
          return expected.answer;
        },
        [this](FileDialogKind kind, OPENFILENAMEW& request) {
          fileRequests.push_back(request);
          if (fileDialogs.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return false;
          }
          const ExpectedFileDialog expected = fileDialogs.front();
          fileDialogs.pop_front();
          EXPECT_EQ(kind, expected.kind);
          EXPECT_EQ(request.hwndOwner, dialog.Window());
          EXPECT_EQ(fs::path(request.lpstrFile), fs::current_path() / "QLR5500.BIN");
          if (!expected.choice) return false;
          expected.choice->copy(request.lpstrFile, request.nMaxFile - 1);
          request.lpstrFile[std::min<std::size_t>(expected.choice->size(), request.nMaxFile - 1)] = L'\0';
          return true;
        },
    };
  }

  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    const HWND window = running_->dialog.Window();
    if (id == running_->watchdogTimer_) {
      ADD_FAILURE() << "the dialog did not end";
      EndDialog(window, EndedByWatchdog);
      return;
    }
    running_->steps_(window);
    // Escape, as the keyboard gives it, to whatever has the focus.
    PostMessageW(GetFocus() ? GetFocus() : window, WM_KEYDOWN, VK_ESCAPE, 0);
  }

  std::function<void(HWND)> steps_;
  UINT_PTR stepsTimer_ = 0;
  UINT_PTR watchdogTimer_ = 0;
  static inline DialogWin32Test* running_ = nullptr;
};

// Where the dialog manager puts a template rectangle: position and size are
// converted each on its own, as it creates the controls.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height) {
  RECT converted{x, y, width, height};
  MapDialogRect(dialog, &converted);
  return {converted.left, converted.top, converted.left + converted.right, converted.top + converted.bottom};
}

RECT InDialog(HWND dialog, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void ExpectRect(const RECT& actual, const RECT& expected, int id) {
  EXPECT_EQ(actual.left, expected.left) << "control " << id;
  EXPECT_EQ(actual.top, expected.top) << "control " << id;
  EXPECT_EQ(actual.right, expected.right) << "control " << id;
  EXPECT_EQ(actual.bottom, expected.bottom) << "control " << id;
}

TEST_F(DialogWin32Test, OpensWithTheTemplatesLayoutTouchesNoPortAndEndsOnEscape) {
  const int commandsBefore = CommandsReceived("");
  const INT_PTR result = RunWith([this](HWND window) {
    RECT client;
    GetClientRect(window, &client);
    ExpectRect(client, DialogUnits(window, 0, 0, 184, 91), 0);
    struct Placed {
      int id, x, y, width, height;
    };
    // The combo box's template height includes its closed list.
    for (const Placed& placed : {Placed{IDC_PORT_FIELD, 6, 13, 16, 12}, Placed{IDC_PORT_SPIN, 24, 13, 25, 12},
                                 Placed{IDC_AUTOMATIC, 54, 13, 52, 12}, Placed{IDC_SET_MEDIUM_VALUES, 93, 59, 85, 12},
                                 Placed{IDC_PROGRESS, 6, 74, 172, 12}}) {
      ExpectRect(InDialog(window, Item(placed.id)),
                 DialogUnits(window, placed.x, placed.y, placed.width, placed.height), placed.id);
    }
    // Tab order: the arrows are no tab stop; the focus starts in the port field.
    std::vector<int> order;
    HWND at = GetFocus();
    for (int step = 0; step < 8; ++step, at = GetNextDlgTabItem(window, at, FALSE)) order.push_back(GetDlgCtrlID(at));
    EXPECT_EQ(order, (std::vector<int>{IDC_PORT_FIELD, IDC_AUTOMATIC, IDC_REGION_LIST, IDC_SAVE_TO_FILE,
                                       IDC_RESTORE_FROM_FILE, IDC_SET_MEDIUM_VALUES, IDC_COMPARE_WITH_FILE,
                                       IDC_PORT_FIELD}));

    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    EXPECT_STREQ(title, L"SaveQLR5500");
    EXPECT_NE(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(PortField(), 1);
    EXPECT_EQ(SendMessageW(Item(IDC_REGION_LIST), CB_GETCOUNT, 0, 0), 16);
    EXPECT_EQ(RegionField(), L"");
    EXPECT_FALSE(dialog.Actions().Link().IsOpen());
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(CommandsReceived(""), commandsBefore) << "a command reached the receiver";
}

TEST_F(DialogWin32Test, AutomaticAndTheArrowsFindTheReceiverAndShowItsRegion) {
  const int port = EmulatorPort();
  if (port < 3) GTEST_SKIP() << "needs the emulated receiver behind port 3 or higher (run_with_emulator.sh)";
  const std::wstring region = Widen(std::string(RegionNames.at(static_cast<std::size_t>(EmulatorRegion()))));
  const int presenceBefore = CommandsReceived("H101");
  RunWith([&](HWND) {
    Click(IDC_AUTOMATIC);
    EXPECT_EQ(PortField(), port);
    EXPECT_EQ(RegionField(), region);
    EXPECT_EQ(CommandsReceived("H101"), presenceBefore + 1);

    // The left half lowers the number; the port below has no device.
    boxes.push_back({"unable to acces COM" + std::to_string(port - 1), MB_OK | MB_ICONWARNING, IDOK});
    PressArrow(false);
    EXPECT_EQ(PortField(), port - 1);
    EXPECT_EQ(RegionField(), region) << "a failed open keeps the region shown";
    PressArrow(true);
    EXPECT_EQ(PortField(), port);
    EXPECT_EQ(RegionField(), region);
    EXPECT_EQ(CommandsReceived("H101"), presenceBefore + 2);
  });
}

TEST_F(DialogWin32Test, SaveAddsTheExtensionAndAsksBeforeReplacingThatFile) {
  if (EmulatorPort() == 0) GTEST_SKIP() << "needs the emulated receiver (run_with_emulator.sh)";
  { std::ofstream(fs::current_path() / "kept.BIN") << "old"; }
  RunWith([&](HWND) {
    Click(IDC_AUTOMATIC);
    boxes.push_back({LoadMessage(MsgConfirmSave).text, MB_YESNO | MB_ICONWARNING, IDYES});
    fileDialogs.push_back({FileDialogKind::SaveAs, L"kept"});
    boxes.push_back({"A file named \"kept.BIN\" already exists. Do you want to replace it?",
                     MB_YESNO | MB_ICONWARNING, IDNO});
    fileDialogs.push_back({FileDialogKind::SaveAs, (fs::current_path() / "saved").wstring()});
    Click(IDC_SAVE_TO_FILE);
    EXPECT_EQ(Bar(), 0);
  });
  ASSERT_EQ(fileRequests.size(), 2u);
  EXPECT_EQ(fileRequests[0].Flags & (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY), OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
  EXPECT_STREQ(fileRequests[0].lpstrDefExt, L"BIN");
  std::ifstream kept(fs::current_path() / "kept.BIN");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");
  EXPECT_EQ(fs::file_size(fs::current_path() / "saved.BIN"), 128u);
}

TEST_F(DialogWin32Test, ACloseRequestWhileAnActionRunsIsRefused) {
  const INT_PTR result = RunWith([&](HWND window) {
    const auto requestClose = [window] {
      SendMessageW(window, WM_CLOSE, 0, 0);
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      // Nor does a second action start in the middle of the first.
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SAVE_TO_FILE, BN_CLICKED), 0);
      EXPECT_TRUE(IsWindowVisible(window));
    };
    boxes.push_back({LoadMessage(MsgConfirmMediumValues).text, MB_YESNO | MB_ICONWARNING, IDYES, requestClose});
    // No port is open: the write fails at once.
    boxes.push_back({LoadMessage(MsgEepromWriteFailed).text, MB_OK | MB_ICONWARNING, IDOK, requestClose});
    Click(IDC_SET_MEDIUM_VALUES);
    EXPECT_TRUE(IsWindowVisible(window)) << "the dialog was ended during the action";
  });
  EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
}  // namespace qlr
