// The native dialog run modally as the program runs it (under Wine in CI).
// Each test's steps run inside the dialog's own message loop; boxes and file
// dialogs are answered through its prompt seam, and one that no step
// expected fails the test instead of waiting for a user.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>

#include "dialog_win32/eeprom_dlg_win32.h"
#include "dialog_win32/resource_ids.h"
#include "os/wide_string.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;

// run_with_emulator.sh puts the receiver behind the first QLR5500_PORTS
// entry with a device and logs its commands; 0 and 0 without it.
int EmulatorPort() {
  const char* ports = std::getenv("QLR5500_PORTS");
  return ports ? 1 + static_cast<int>(std::string(ports).find_first_not_of(';')) : 0;
}
int CommandsEndingIn(const std::string& command) {
  std::ifstream log(std::getenv("QLR_EMULATOR_LOG") ? std::getenv("QLR_EMULATOR_LOG") : "");
  int count = 0;
  for (std::string line; std::getline(log, line);) count += line.ends_with(command);
  return count;
}

// A box's text, style and answer, or (style 0) a file dialog's choice.
struct Expected {
  std::string text;
  UINT style;
  int answer;
  std::function<void()> whileShown = {};
};

class DialogWin32Test : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(expected.empty()) << expected.size() << " expected prompts never shown";
    EXPECT_EQ(dialog.BusyLevel(), 0);
  }
  // Runs the dialog, its `steps` once it is up, then Escape; returns how the run ended.
  INT_PTR RunWith(std::function<void(HWND)> steps) {
    steps_ = std::move(steps);
    running_ = this;
    const UINT_PTR timer = SetTimer(nullptr, 0, 0, &OnTimer);
    const INT_PTR result = dialog.RunModal();
    KillTimer(nullptr, timer);
    return result;
  }
  HWND Item(int id) const { return GetDlgItem(dialog.Window(), id); }
  void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
  int PortField() const { return static_cast<int>(GetDlgItemInt(dialog.Window(), IDC_PORT_FIELD, nullptr, TRUE)); }
  std::string RegionField() const {
    char text[32] = {};
    GetDlgItemTextA(dialog.Window(), IDC_REGION_LIST, text, sizeof text);
    return text;
  }
  // A press on one half of the port arrows, as the mouse gives it.
  void PressArrow(bool right) {
    RECT area;
    GetClientRect(Item(IDC_PORT_SPIN), &area);
    const LPARAM at = MAKELPARAM(right ? area.right - 3 : 3, area.bottom / 2);
    SendMessageW(Item(IDC_PORT_SPIN), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(Item(IDC_PORT_SPIN), WM_LBUTTONUP, 0, at);
  }
  Expected Next(UINT style) {
    if (expected.empty()) return {"(unexpected)", style, 0};
    Expected next = expected.front();
    expected.pop_front();
    EXPECT_EQ(style, next.style) << next.text;
    return next;
  }

  std::deque<Expected> expected;
  std::vector<OPENFILENAMEW> fileRequests;
  CEepromDlgWin32 dialog{
      GetModuleHandleW(nullptr),
      Win32Prompts{[this](HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
                     const Expected next = Next(style);
                     EXPECT_EQ(text, Widen(next.text));
                     EXPECT_EQ(caption, L"dialog_win32_gui_test");  // this executable's name
                     EXPECT_EQ(owner, dialog.Window());
                     if (next.whileShown) next.whileShown();
                     return next.answer;
                   },
                   [this](FileDialogKind, OPENFILENAMEW& request) {
                     fileRequests.push_back(request);
                     const Expected next = Next(0);
                     EXPECT_EQ(fs::path(request.lpstrFile), fs::current_path() / "QLR5500.BIN");
                     const std::wstring choice = Widen(next.text);
                     choice.copy(request.lpstrFile, request.nMaxFile - 1);
                     request.lpstrFile[choice.size()] = L'\0';
                     return next.answer == IDOK;
                   }}};

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    running_->steps_(running_->dialog.Window());
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
  }
  std::function<void(HWND)> steps_;
  static inline DialogWin32Test* running_ = nullptr;
};

// Where the dialog manager puts a template rectangle: position and size converted each on its own.
RECT FromDialogUnits(HWND dialog, RECT units) {
  MapDialogRect(dialog, &units);
  return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

TEST_F(DialogWin32Test, OpensWithTheTemplatesLayoutTouchesNoPortAndEndsOnEscape) {
  const int commandsBefore = CommandsEndingIn("");
  EXPECT_EQ(IDCANCEL, RunWith([this](HWND window) {
              RECT client;
              GetClientRect(window, &client);
              EXPECT_EQ(client.right, FromDialogUnits(window, {0, 0, 184, 91}).right);
              EXPECT_EQ(client.bottom, FromDialogUnits(window, {0, 0, 184, 91}).bottom);
              for (const auto& [id, units] : {std::pair{IDC_PORT_SPIN, RECT{24, 13, 25, 12}},
                                              std::pair{IDC_SET_MEDIUM_VALUES, RECT{93, 59, 85, 12}}}) {
                RECT placed;
                GetWindowRect(Item(id), &placed);
                MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&placed), 2);
                const RECT wanted = FromDialogUnits(window, units);
                EXPECT_TRUE(EqualRect(&placed, &wanted)) << "control " << id;
              }
              EXPECT_EQ(PortField(), 1);
              EXPECT_EQ(SendMessageW(Item(IDC_REGION_LIST), CB_GETCOUNT, 0, 0), 16);
              EXPECT_EQ(RegionField(), "");
              EXPECT_FALSE(dialog.Actions().Link().IsOpen());
            }));
  EXPECT_EQ(CommandsEndingIn(""), commandsBefore) << "a command reached the receiver";
}

TEST_F(DialogWin32Test, AutomaticAndTheArrowsFindTheReceiverAndShowItsRegion) {
  const int port = EmulatorPort();
  if (port < 2) GTEST_SKIP() << "needs the emulated receiver behind port 2 or higher (run_with_emulator.sh)";
  const std::string region(RegionNames.at(static_cast<std::size_t>(std::stoi(std::getenv("QLR_EMULATOR_REGION")))));
  const int presenceBefore = CommandsEndingIn("H101");
  RunWith([&](HWND) {
    Click(IDC_AUTOMATIC);
    EXPECT_EQ(PortField(), port);
    EXPECT_EQ(RegionField(), region);
    // The left half lowers the number, to a port without a device.
    expected.push_back({"unable to acces COM" + std::to_string(port - 1), MB_OK | MB_ICONWARNING, IDOK});
    PressArrow(false);
    EXPECT_EQ(PortField(), port - 1);
    PressArrow(true);
    EXPECT_EQ(PortField(), port);
    EXPECT_EQ(RegionField(), region);
  });
  EXPECT_EQ(CommandsEndingIn("H101"), presenceBefore + 2);
}

TEST_F(DialogWin32Test, SaveAddsTheExtensionAndAsksBeforeReplacingThatFile) {
  if (EmulatorPort() == 0) GTEST_SKIP() << "needs the emulated receiver (run_with_emulator.sh)";
  std::ofstream(fs::current_path() / "kept.BIN") << "old";
  RunWith([&](HWND) {
    Click(IDC_AUTOMATIC);
    expected = {
        {LoadMessage(MsgConfirmSave).text, MB_YESNO | MB_ICONWARNING, IDYES},
        {"kept", 0, IDOK},
        {"A file named \"kept.BIN\" already exists. Do you want to replace it?", MB_YESNO | MB_ICONWARNING, IDNO},
        {(fs::current_path() / "saved").string(), 0, IDOK}};
    Click(IDC_SAVE_TO_FILE);
  });
  ASSERT_FALSE(fileRequests.empty());
  EXPECT_EQ(fileRequests[0].Flags & (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY), OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY);
  EXPECT_STREQ(fileRequests[0].lpstrDefExt, L"BIN");
  EXPECT_EQ(fs::file_size(fs::current_path() / "kept.BIN"), 3u);
  EXPECT_EQ(fs::file_size(fs::current_path() / "saved.BIN"), 128u);
}

TEST_F(DialogWin32Test, ACloseRequestWhileAnActionRunsIsRefused) {
  EXPECT_EQ(IDCANCEL, RunWith([&](HWND window) {
              const auto requestClose = [window] {
                SendMessageW(window, WM_CLOSE, 0, 0);
                SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                // Nor does a second action start in the middle of the first.
                SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SAVE_TO_FILE, BN_CLICKED), 0);
              };
              // No port is open: the write fails at once.
              expected = {{LoadMessage(MsgConfirmMediumValues).text, MB_YESNO | MB_ICONWARNING, IDYES, requestClose},
                          {LoadMessage(MsgEepromWriteFailed).text, MB_OK | MB_ICONWARNING, IDOK, requestClose}};
              Click(IDC_SET_MEDIUM_VALUES);
              EXPECT_TRUE(IsWindowVisible(window)) << "the dialog was ended during the action";
            }));
}

}  // namespace
}  // namespace qlr
