// The real dialog under X (Xvfb in CI): what the user sees and what reaches
// the emulated receiver. Boxes and file dialogs are answered through wx's
// test hooks; one that no test expected fails the test instead of waiting.
#define wxTEST_DIALOG_HOOK_CLASS ThrowingModalHook

#include <wx/app.h>
#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/gauge.h>
#include <wx/init.h>
#include <wx/msgdlg.h>
#include <wx/spinbutt.h>
#include <wx/testing.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

// Needs wx/msgdlg.h before it.
#include <wx/generic/msgdlgg.h>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "dialog_wx/eeprom_dlg.h"
#include "dialog_wx/wx_gtk_style.h"
#include "image/eeprom_image.h"
#include "support/link_fixture.h"

// Fontconfig, under GTK, keeps its caches until the process ends; under
// AddressSanitizer that would read as leaks of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

class ThrowingModalHook : public wxTestingModalHook {
 public:
  using wxTestingModalHook::wxTestingModalHook;

 protected:
  void ReportFailure(const wxString& message) override { throw std::runtime_error(message.utf8_string()); }
};

namespace qlr {
namespace {

namespace fs = std::filesystem;
using namespace qlr::testing;
using Bytes = std::vector<unsigned char>;

constexpr const char* Caption = "dialog_gui_test";  // this executable's name

// Outside wxTEST_DIALOG any box is a failure, answered at once.
class UnexpectedDialogHook : public wxModalDialogHook {
 protected:
  int Enter(wxDialog* dialog) override {
    if (dynamic_cast<CEepromDlg*>(dialog)) return wxID_NONE;
    ADD_FAILURE() << "unexpected modal dialog \"" << dialog->GetTitle() << "\"";
    return wxID_CANCEL;
  }
};

class WxEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the GUI tests need an X display, e.g. xvfb-run -a";
    // An X display without a session: no accessibility bus to wait for.
    ::setenv("NO_AT_BRIDGE", "1", 0);
    ::setenv("GDK_BACKEND", "x11", 0);
    wxApp::SetInstance(new wxApp);
    // The name alone: wx would reject gtest's options.
    static char name[] = "dialog_gui_test";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    ASSERT_TRUE(wxEntryStart(argc, argv));
    ASSERT_TRUE(wxTheApp->CallOnInit());
    hook_.Register();
  }
  void TearDown() override {
    hook_.Unregister();
    wxEntryCleanup();
  }

 private:
  UnexpectedDialogHook hook_;
};

[[maybe_unused]] ::testing::Environment* const Environment = ::testing::AddGlobalTestEnvironment(new WxEnvironment);

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    wxYield();
    wxMilliSleep(5);
  }
  return true;
}

// A real click; without a window manager it also gives the keyboard focus.
void ClickAt(wxPoint screen) {
  wxUIActionSimulator mouse;
  mouse.MouseMove(screen);
  mouse.MouseClick();
}

void FocusPortField(CEepromDlg& dialog) {
  wxWindow* field = dialog.FindWindow(CEepromDlg::IdPortField);
  ClickAt(field->GetScreenRect().GetPosition() + wxPoint(4, 4));
  PumpUntil([field] { return wxWindow::FindFocus() == field; });
}

// A message box: text, caption, buttons, icon and owner are checked, then it is answered.
class ExpectBox : public wxExpectModalBase<wxGenericMessageDialog, ExpectBox> {
 public:
  ExpectBox(std::string text, long buttons, long icon, int answer, std::function<void()> whileShown = {})
      : text_(std::move(text)), buttons_(buttons), icon_(icon), answer_(answer), whileShown_(std::move(whileShown)) {}

 protected:
  int OnInvoked(wxGenericMessageDialog* box) const override {
    EXPECT_EQ(box->GetMessage().utf8_string(), text_);
    EXPECT_EQ(box->GetCaption(), Caption);
    EXPECT_EQ(box->GetMessageDialogStyle() & (wxYES_NO | wxOK | wxCANCEL), buttons_) << text_;
    EXPECT_EQ(box->GetEffectiveIcon(), icon_) << text_;
    EXPECT_NE(dynamic_cast<CEepromDlg*>(box->GetParent()), nullptr) << "not owned by the dialog";
    if (whileShown_) whileShown_();
    return answer_;
  }
  wxString GetDefaultDescription() const override { return "box \"" + wxString::FromUTF8(text_) + "\""; }

 private:
  std::string text_;
  long buttons_, icon_;
  int answer_;
  std::function<void()> whileShown_;
};

ExpectBox Question(int number, int answer) {
  return ExpectBox(LoadMessage(number).text, wxYES_NO, wxICON_WARNING, answer);
}
ExpectBox Notice(const std::string& text, std::function<void()> whileShown = {}) {
  return ExpectBox(text, wxOK, wxICON_WARNING, wxID_OK, std::move(whileShown));
}

// A file dialog: kind, owner and proposal are checked, then `choice` is picked.
class ExpectFile : public wxExpectModalBase<wxFileDialog, ExpectFile> {
 public:
  ExpectFile(long style, fs::path choice) : style_(style), choice_(std::move(choice)) {}

 protected:
  int OnInvoked(wxFileDialog* chooser) const override {
    EXPECT_EQ(chooser->GetWindowStyle() & (wxFD_SAVE | wxFD_OPEN | wxFD_OVERWRITE_PROMPT), style_);
    EXPECT_EQ(chooser->GetFilename(), "QLR5500.BIN");
    EXPECT_EQ(fs::path(chooser->GetDirectory().utf8_string()), fs::current_path());
    EXPECT_NE(dynamic_cast<CEepromDlg*>(chooser->GetParent()), nullptr);
    chooser->SetPath(wxString::FromUTF8(choice_.string()));
    return wxID_OK;
  }

 private:
  long style_;
  fs::path choice_;
};

class DialogGuiTest : public ReceiverFixture {
 protected:
  void SetUp() override {
    dialog = new CEepromDlg(nullptr);
    dialog->Show();
    ASSERT_TRUE(PumpUntil([this] { return dialog->IsShownOnScreen(); }));
  }
  void TearDown() override {
    EXPECT_EQ(dialog->BusyLevel(), 0);
    EXPECT_FALSE(wxIsBusy()) << "busy cursor left on";
    delete dialog;
  }

  template <typename T>
  T* Control(int id) {
    if (T* control = dynamic_cast<T*>(dialog->FindWindow(id))) return control;
    throw std::logic_error("no control " + std::to_string(id));
  }
  void Press(int id) {
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(Control<wxButton>(id));
    Control<wxButton>(id)->ProcessWindowEvent(click);
  }
  wxString Field() { return Control<wxTextCtrl>(CEepromDlg::IdPortField)->GetValue(); }
  wxComboBox* Regions() { return Control<wxComboBox>(CEepromDlg::IdRegionList); }
  int Bar() { return Control<wxGauge>(CEepromDlg::IdProgress)->GetValue(); }

  TempDirectory directory;
  ScopedWorkingDirectory workingDirectory{directory.Path()};
  CEepromDlg* dialog = nullptr;
};

TEST_F(DialogGuiTest, OpensLaidOutInDialogUnitsWithEveryTextUnclipped) {
  EXPECT_EQ(dialog->GetTitle(), "SaveQLR5500");
  EXPECT_EQ(dialog->GetClientSize(), dialog->ConvertDialogToPixels(wxSize(184, 91)));
  struct Row {
    const char* text;  // nullptr: no text
    int x, y, w, h;
  };
  // In creation order, which is the tab order; two to a line.
  // clang-format off
  const Row rows[] = {{"COM-Port", 2, 2, 108, 28},           {nullptr, 6, 13, 16, 12},
                      {nullptr, 24, 13, 25, 12},             {"Automatic", 54, 13, 52, 12},
                      {nullptr, 117, 13, 61, 12},            {"Country", 113, 2, 69, 28},
                      {"EEPROM", 2, 33, 180, 56},            {"Save to File", 6, 44, 85, 12},
                      {"Restore from File", 93, 44, 85, 12}, {"Set Medium-Values", 93, 59, 85, 12},
                      {"Compare with File", 6, 59, 85, 12},  {nullptr, 6, 74, 172, 12}};
  // clang-format on
  ASSERT_EQ(dialog->GetChildren().size(), std::size(rows));
  auto child = dialog->GetChildren().begin();
  for (const Row& row : rows) {
    wxWindow* control = *child++;
    const wxRect rect(dialog->ConvertDialogToPixels(wxPoint(row.x, row.y)),
                      dialog->ConvertDialogToPixels(wxSize(row.w, row.h)));
    EXPECT_EQ(control->GetRect(), rect) << control->GetName();
    if (row.text) {
      EXPECT_EQ(control->GetLabel(), row.text);
    }
    // GTK's own minimum: a smaller rectangle clips the control.
    const wxSize needed = NativeMinimumSize(*control);
    EXPECT_TRUE(needed.x <= rect.width && needed.y <= rect.height)
        << control->GetName() << " needs " << needed.x << "x" << needed.y;
  }
  EXPECT_EQ(Field(), "1");
  EXPECT_EQ(Control<wxTextCtrl>(CEepromDlg::IdPortField)->GetToolTipText(), receiver.DevicePath());
  ASSERT_EQ(Regions()->GetCount(), RegionNames.size());
  for (unsigned i = 0; i < RegionNames.size(); ++i)
    EXPECT_EQ(Regions()->GetString(i), wxString(RegionNames[i].data(), RegionNames[i].size()));
  EXPECT_EQ(Regions()->GetSelection(), wxNOT_FOUND);
  EXPECT_EQ(Bar(), 0);
  EXPECT_TRUE(receiver.Commands().empty());
  EXPECT_EQ(dialog->GetIcons().GetIconCount(), 2u);
}

TEST_F(DialogGuiTest, TheArrowsRightHalfRaisesThePortAndTheLeftLowersIt) {
  ScopedPorts map({receiver.DevicePath(), receiver.DevicePath()});
  const wxRect area = Control<wxSpinButton>(CEepromDlg::IdPortSpin)->GetScreenRect();
  const wxPoint right(area.GetRight() - area.width / 4, area.y + area.height / 2);
  const wxPoint left(area.x + area.width / 4, area.y + area.height / 2);
  int clicks = 0;
  // At 1 the left arrow opens port 1 again.
  for (const auto& [at, field] : {std::pair{right, "2"}, {left, "1"}, {left, "1"}, {right, "2"}}) {
    ClickAt(at);
    ++clicks;
    ASSERT_TRUE(PumpUntil([&] { return CountSent(receiver, "H101") >= clicks; })) << "click " << clicks;
    EXPECT_EQ(Field(), field) << "click " << clicks;
  }
  EXPECT_EQ(CountSent(receiver, "H101"), 4);
  EXPECT_EQ(Regions()->GetValue(), "EUR/AUS");
}

TEST_F(DialogGuiTest, APortWithoutDeviceShowsMessage1UnderTheBusyCursor) {
  const wxRect area = Control<wxSpinButton>(CEepromDlg::IdPortSpin)->GetScreenRect();
  wxTEST_DIALOG(ClickAt(wxPoint(area.GetRight() - area.width / 4, area.y + area.height / 2));
                PumpUntil([this] { return Field() == "2" && !wxIsBusy(); }),
                Notice("unable to acces COM2", [] { EXPECT_TRUE(wxIsBusy()); }));
  EXPECT_EQ(Control<wxTextCtrl>(CEepromDlg::IdPortField)->GetToolTipText(), "COM2: no serial device");
}

TEST_F(DialogGuiTest, AutomaticShowsThePortAndTheRegionOrTellsItFoundNothing) {
  std::vector<std::string> devices(16);
  devices[6] = receiver.DevicePath();
  {
    ScopedPorts map(devices);
    receiver.SetRegion(13);
    Press(CEepromDlg::IdAutomatic);
    EXPECT_EQ(Field(), "7");
    EXPECT_EQ(Regions()->GetSelection(), 13);
    EXPECT_EQ(Regions()->GetValue(), "FCC CAN");
    receiver.SetRegion(16);
    Press(CEepromDlg::IdAutomatic);
    EXPECT_EQ(Regions()->GetSelection(), wxNOT_FOUND);
    EXPECT_EQ(Regions()->GetValue(), "") << "an unknown region empties the list's field";
  }
  ScopedPorts none(std::vector<std::string>(16));
  wxTEST_DIALOG(Press(CEepromDlg::IdAutomatic), Notice("unable to find QLR5500 (connected ? powered ON ?)"));
  EXPECT_EQ(Field(), "7");
}

TEST_F(DialogGuiTest, SaveAddsTheDefaultExtensionAndAsksBeforeReplacingThatFile) {
  ASSERT_TRUE(dialog->Actions().Link().OpenPort(1));
  const ExpectFile saveAs(wxFD_SAVE | wxFD_OVERWRITE_PROMPT, directory / "backup");
  wxTEST_DIALOG(Press(CEepromDlg::IdSaveToFile), Question(MsgConfirmSave, wxID_YES), saveAs);
  EXPECT_EQ(ReadBytes(directory / "backup.BIN"), Memory());
  EXPECT_EQ(Bar(), 0);

  WriteBytes(directory / "backup.BIN", Bytes(128, 0));
  const ExpectBox replace("A file named \"backup.BIN\" already exists. Do you want to replace it?", wxYES_NO,
                          wxICON_WARNING, wxID_YES);
  wxTEST_DIALOG(Press(CEepromDlg::IdSaveToFile), Question(MsgConfirmSave, wxID_YES), saveAs, replace);
  EXPECT_EQ(ReadBytes(directory / "backup.BIN"), Memory());
}

TEST_F(DialogGuiTest, CompareReportsDifferencesWithTheErrorIcon) {
  ASSERT_TRUE(dialog->Actions().Link().OpenPort(1));
  Bytes image = Memory();
  image[5] ^= 0x80;
  WriteBytes(directory / "QLR5500.BIN", image);
  wxTEST_DIALOG(Press(CEepromDlg::IdCompareWithFile), Question(MsgConfirmCompare, wxID_YES),
                ExpectFile(wxFD_OPEN, directory / "QLR5500.BIN"),
                ExpectBox("the EEPROM contents differs in 1 bytes from the file", wxOK, wxICON_ERROR, wxID_OK));
  EXPECT_EQ(Bar(), 0);
}

// The close box and Escape in the middle of a write, each sent from the
// receiver's thread through GLib to the next repaint of the bar (the
// simulated key is handled at once, where a keyboard's would wait): the
// write completes and the dialog stays; then a close request ends it.
TEST_F(DialogGuiTest, NothingEndsTheDialogDuringATransfer) {
  ASSERT_TRUE(dialog->Actions().Link().OpenPort(1));
  receiver.SetPacing(true);
  std::pair<const char*, std::function<void()>> requests[] = {
      // What a window manager makes of the close box or Alt+F4.
      {"close box",
       [this] {
         GdkEvent* event = gdk_event_new(GDK_DELETE);
         event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(dialog->GetHandle())));
         gdk_event_put(event);
         gdk_event_free(event);
       }},
      {"Escape", [] { wxUIActionSimulator().Char(WXK_ESCAPE); }},
  };
  const auto original = receiver.Memory();
  for (auto& [name, request] : requests) {
    receiver.SetMemory(original);
    FocusPortField(*dialog);
    receiver.SetObserver([&request = request](const emu::RecordedCommand& command) {
      const auto runOnce = [](gpointer step) {
        (*static_cast<std::function<void()>*>(step))();
        return gboolean{G_SOURCE_REMOVE};
      };
      if (command.text == "LD040?") g_idle_add(runOnce, &request);
    });
    wxTEST_DIALOG(Press(CEepromDlg::IdSetMediumValues), Question(MsgConfirmMediumValues, wxID_YES));
    receiver.SetObserver({});
    EXPECT_EQ(Memory(), Bytes(MediumValues.begin(), MediumValues.end())) << name;
    EXPECT_TRUE(dialog->IsShown()) << name;
    dialog->Close();
    EXPECT_TRUE(PumpUntil([this] { return !dialog->IsShown(); })) << name;
    dialog->Show();
    ASSERT_TRUE(PumpUntil([this] { return dialog->IsShownOnScreen(); }));
  }
}

TEST_F(DialogGuiTest, TabGoesFromThePortFieldPastTheArrows) {
  FocusPortField(*dialog);
  wxUIActionSimulator().Char(WXK_TAB);
  EXPECT_TRUE(PumpUntil([this] { return wxWindow::FindFocus() == dialog->FindWindow(CEepromDlg::IdAutomatic); }));
}

TEST_F(DialogGuiTest, EscapeTheCloseBoxAndEnterEndTheDialog) {
  dialog->Hide();
  const std::pair<std::function<void(CEepromDlg&)>, int> cases[] = {
      {[](CEepromDlg&) { wxUIActionSimulator().Char(WXK_ESCAPE); }, wxID_CANCEL},
      {[](CEepromDlg& modal) { modal.Close(); }, wxID_CANCEL},
      {[](CEepromDlg&) { wxUIActionSimulator().Char(WXK_RETURN); }, wxID_OK},  // no button has the focus
  };
  for (const auto& [action, expected] : cases) {
    // A lambda of clang 14 cannot capture a structured binding.
    const std::function<void(CEepromDlg&)>& end = action;
    CEepromDlg modal(nullptr);
    // A dialog that ignores the user must not hang the test.
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&modal](wxTimerEvent&) { modal.EndModal(wxID_ABORT); });
    guard.StartOnce(10000);
    modal.CallAfter([&modal, &end] {
      PumpUntil([&modal] { return modal.IsShownOnScreen(); });
      FocusPortField(modal);
      end(modal);
    });
    EXPECT_EQ(modal.ShowModal(), expected);
  }
}

}  // namespace
}  // namespace qlr
