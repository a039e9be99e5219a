// The dialog's handlers, step by step, against the emulated receiver.
#include "app/dialog_actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/eeprom_image.h"
#include "support/child_process.h"
#include "support/link_fixture.h"

namespace qlr {
namespace {

namespace fs = std::filesystem;
using emu::FaultRule;
using emu::ReceiverEmulator;
using testing::CountSent;
using testing::ReadBytes;
using testing::ScopedPorts;
using testing::TempDirectory;
using testing::WriteBytes;
using Bytes = std::vector<unsigned char>;
using Log = std::vector<std::string>;

Log operator+(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Records what the handlers do to the window, in order ("confirm 9",
// "busy on", "message 3", "choose save", "range 0-127", "bar 0", "repaint",
// "port 5", "region 2"), and answers as the test scripted.
class RecordingView : public DialogView, public ProgressSink {
 public:
  Log log;
  std::vector<Message> messages;
  std::deque<bool> answers;                   // Yes/No
  std::deque<std::optional<fs::path>> files;  // nothing: Cancel
  std::vector<fs::path> proposals;
  std::vector<int> transferPositions;
  BusyCount busy;
  int bar = -1;  // -1: never set
  int region = -1;

  bool Confirm(const Message& message) override {
    log.push_back("confirm " + std::to_string(message.number));
    messages.push_back(message);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected confirmation " << message.number;
      return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  void Notify(const Message& message) override {
    log.push_back("message " + std::to_string(message.number));
    messages.push_back(message);
  }
  std::optional<fs::path> ChooseFile(FileDialogKind kind, const fs::path& proposal) override {
    log.push_back(kind == FileDialogKind::SaveAs ? "choose save" : "choose open");
    proposals.push_back(proposal);
    if (files.empty()) {
      ADD_FAILURE() << "unexpected file dialog";
      return std::nullopt;
    }
    auto file = files.front();
    files.pop_front();
    return file;
  }
  void BusyCursorOn() override {
    log.push_back("busy on");
    busy.On();
  }
  void BusyCursorOff() override {
    log.push_back("busy off");
    busy.Off();
  }
  void ShowPort(int number) override { log.push_back("port " + std::to_string(number)); }
  void SelectRegion(int position) override {
    log.push_back("region " + std::to_string(position));
    region = position;
  }
  ProgressSink& ProgressBar() override { return *this; }
  void SetProgressPosition(int position) override {
    log.push_back("bar " + std::to_string(position));
    bar = position;
  }
  void RepaintNow() override { log.push_back("repaint"); }
  void SetRange(int lowest, int highest) override {
    log.push_back("range " + std::to_string(lowest) + "-" + std::to_string(highest));
  }
  void SetPosition(int position) override {
    transferPositions.push_back(position);
    bar = position;
  }
};

FaultRule Silence(std::string prefix) {
  return FaultRule{.commandPrefix = std::move(prefix), .answer = std::vector<std::string>{}};
}

// A receiver on port 1, a fresh current directory, the handlers and a recorder.
class DialogActionsTest : public testing::ReceiverFixture {
 public:
  void TearDown() override {
    EXPECT_EQ(view.busy.Count(), 0) << "busy cursor left on";
    EXPECT_TRUE(view.answers.empty() && view.files.empty()) << "a scripted answer was not asked for";
  }
  void OpenReceiver() {
    ASSERT_TRUE(actions.Link().OpenPort(1));
    receiver.ClearCommands();
  }

  TempDirectory directory;
  testing::ScopedWorkingDirectory workingDirectory{directory.Path()};
  RecordingView view;
  DialogActions actions{view};
};

TEST(DialogHelpersTest, MessagesExtensionsPathsAndTheBusyCount) {
  EXPECT_EQ(LoadMessage(MsgPortUnavailable, 16).text, "unable to acces COM16");
  EXPECT_EQ(LoadMessage(MsgDiffers, 128).text, "the EEPROM contents differs in 128 bytes from the file");
  EXPECT_EQ(LoadMessage(MsgDiffers).kind, MessageKind::ErrorNotice);
  EXPECT_EQ(LoadMessage(MsgConfirmMediumValues).kind, MessageKind::Confirmation);
  EXPECT_TRUE(LoadMessage(13).text.empty());

  TempDirectory directory;
  WriteBytes(directory / "PLAIN", {1});
  EXPECT_EQ(WithDefaultExtension(directory / "NEW", FileDialogKind::SaveAs), directory / "NEW.BIN");
  EXPECT_EQ(WithDefaultExtension(directory / "old.bak", FileDialogKind::SaveAs), directory / "old.bak");
  EXPECT_EQ(WithDefaultExtension(directory / "PLAIN", FileDialogKind::SaveAs), directory / "PLAIN.BIN");
  EXPECT_EQ(WithDefaultExtension(directory / "PLAIN", FileDialogKind::Open), directory / "PLAIN");
  EXPECT_EQ(WithDefaultExtension(directory / "GONE", FileDialogKind::Open), directory / "GONE.BIN");

  // Far beyond the 260 characters older systems allowed.
  fs::path deep = directory.Path();
  for (char c : std::string("abcdefg")) deep /= std::string(50, c);
  fs::create_directories(deep);
  testing::ScopedWorkingDirectory inside(deep);
  EXPECT_EQ(DefaultImagePath(), deep / "QLR5500.BIN");

  BusyCount busy;
  EXPECT_FALSE(busy.Off());
  busy.On();
  EXPECT_TRUE(busy.Off());
  EXPECT_FALSE(busy.Off());
  busy.On();
  EXPECT_EQ(busy.Count(), 1);
}

TEST(DialogModeTest, WithoutADisplayTheProgramEndsQuietly) {
  const testing::ChildResult result = testing::RunChild(
      {QLR_PROGRAM_UNDER_TEST}, {.environment = {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}},
                                 .limit = std::chrono::seconds(20)});
  ASSERT_FALSE(result.timedOut);
  EXPECT_EQ(result.exitCode, 0) << "signal " << result.signal << " (5 is SIGTRAP: GTK aborted)\n" << result.err;
}

// --- port arrows and "Automatic" ---------------------------------------------

TEST_F(DialogActionsTest, ArrowsMoveAndClampThePortAndAlwaysReopenIt) {
  std::vector<std::string> devices(16);
  for (int port : {1, 2, 15, 16}) devices[port - 1] = receiver.DevicePath();
  ScopedPorts map(devices);
  // Right proposes -1, left +1; a held arrow may propose more.
  const std::pair<int, int> presses[] = {{+1, 1}, {-1, 2}, {-13, 15}, {-1, 16}, {-1, 16}, {-5, 16}, {+1000, 1}};
  for (const auto& [step, port] : presses) {
    view.log.clear();
    receiver.ClearCommands();
    EXPECT_EQ(actions.OnPortSpin(step), 0);
    EXPECT_EQ(view.log, (Log{"busy on", "port " + std::to_string(port), "region 2", "busy off"})) << step;
    EXPECT_EQ(actions.Link().PortNumber(), port);
    EXPECT_EQ(CountSent(receiver, "H101"), 1);
  }
}

TEST_F(DialogActionsTest, APortThatCannotBeOpenedIsReportedWithItsNumber) {
  OpenReceiver();
  actions.OnPortSpin(-4);  // port 5 has no device
  EXPECT_EQ(view.log, (Log{"busy on", "port 5", "message 1", "busy off"}));
  EXPECT_EQ(view.messages.back().text, "unable to acces COM5");
  EXPECT_FALSE(actions.Link().IsOpen());
}

TEST_F(DialogActionsTest, RegionCodesSelectTheirEntryOrNothing) {
  receiver.AddFault(Silence("H101"));
  actions.OnPortSpin(0);
  EXPECT_EQ(CountSent(receiver, "H101"), 3) << "a silent receiver is asked three times, then for its region";
  EXPECT_EQ(view.region, 2);
  receiver.ClearFaults();
  // -1: no answer to the query.
  for (const auto& [code, position] : {std::pair{13, 13}, {15, 15}, {16, -1}, {255, -1}, {-1, -1}}) {
    if (code >= 0) receiver.SetRegion(code);
    else receiver.AddFault(Silence("GE?"));
    view.region = 7;
    actions.OnPortSpin(0);
    EXPECT_EQ(view.region, position) << code;
  }
}

TEST_F(DialogActionsTest, AutomaticShowsWhereTheReceiverAnswersOrKeepsTheField) {
  std::vector<std::string> devices(16);
  devices[6] = receiver.DevicePath();
  {
    ScopedPorts map(devices);
    actions.OnAutomatic();
    EXPECT_EQ(view.log, (Log{"busy on", "region 2", "port 7", "busy off"}));
    EXPECT_EQ(actions.SelectedPort(), 7);
  }
  ScopedPorts none(std::vector<std::string>(16));
  view.log.clear();
  actions.OnAutomatic();
  EXPECT_EQ(view.log, (Log{"busy on", "message 2", "busy off"}));
  EXPECT_EQ(actions.SelectedPort(), 7);
}

// --- the EEPROM actions, one path per case ---------------------------------

struct ActionCase {
  const char* name;
  void (DialogActions::*action)();
  std::function<void(DialogActionsTest&)> setup;  // runs with port 1 open, unless closing it
  std::vector<bool> answers;
  std::vector<std::optional<std::string>> files;  // names in the directory; nothing: Cancel
  Log expected;
  int bar;  // -1: never set
  std::function<void(DialogActionsTest&)> check = {};
};

const Log ReadForSave{"confirm 9", "busy on", "range 0-127", "busy off", "choose save"};
const Log ReadForCompare{"confirm 10", "busy on", "range 0-127", "busy off", "choose open"};
const Log Ended{"bar 0", "busy off"};

Bytes Changed(Bytes bytes, int count) {
  for (int i = 0; i < count; ++i) bytes[i * 128 / count] ^= 0x01;
  return bytes;
}

class EepromActionTest : public DialogActionsTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(EepromActionTest, FollowsItsSteps) {
  const ActionCase& c = GetParam();
  OpenReceiver();
  if (c.setup) c.setup(*this);
  view.answers.assign(c.answers.begin(), c.answers.end());
  for (const auto& name : c.files) view.files.push_back(name ? std::optional(directory / *name) : std::nullopt);
  const Bytes before = Memory();
  (actions.*c.action)();
  EXPECT_EQ(view.log, c.expected);
  EXPECT_EQ(view.bar, c.bar);
  for (const fs::path& proposal : view.proposals) EXPECT_EQ(proposal, directory.Path() / "QLR5500.BIN");
  if (c.check) c.check(*this);
  if (std::find(view.log.begin(), view.log.end(), "range 0-127") == view.log.end()) {
    EXPECT_TRUE(receiver.Commands().empty()) << "no transfer, no traffic";
    EXPECT_EQ(Memory(), before);
  }
}

// A case table, laid out by hand.
// clang-format off
const ActionCase Cases[] = {
    {"SaveNo", &DialogActions::OnSaveToFile, {}, {false}, {}, {"confirm 9"}, -1},
    {"CompareNo", &DialogActions::OnCompareWithFile, {}, {false}, {}, {"confirm 10"}, -1},
    {"RestoreNo", &DialogActions::OnRestoreFromFile, {}, {false}, {}, {"confirm 11"}, -1},
    {"MediumNo", &DialogActions::OnSetMediumValues, {}, {false}, {}, {"confirm 12"}, -1},
    {"Save", &DialogActions::OnSaveToFile, {}, {true}, {"saved.bin"}, ReadForSave + Ended, 0},
    {"SaveCancelled", &DialogActions::OnSaveToFile, {}, {true}, {std::nullopt}, ReadForSave + Ended, 0},
    {"SaveOverReadOnly", &DialogActions::OnSaveToFile,
     [](DialogActionsTest& t) {
       const fs::path snapshot = t.directory / "EEPROM$$.QLR";
       WriteBytes(snapshot, Bytes(128, 0x5A));
       fs::permissions(snapshot, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
     },
     {true}, {"EEPROM$$.QLR"}, ReadForSave + Log{"message 4"}, 127,
     [](DialogActionsTest& t) { EXPECT_EQ(ReadBytes(t.directory / "EEPROM$$.QLR"), Bytes(128, 0x5A)); }},
    {"SaveIntoMissingDirectory", &DialogActions::OnSaveToFile, {}, {true}, {"nowhere/x.bin"},
     ReadForSave + Log{"message 4"}, 127},
    {"SaveWithoutPort", &DialogActions::OnSaveToFile, [](DialogActionsTest& t) { t.actions.Link().ClosePort(); },
     {true}, {}, Log{"confirm 9", "busy on", "message 3"} + Ended, 0},
    {"SaveReadStalls", &DialogActions::OnSaveToFile,
     [](DialogActionsTest& t) { t.receiver.AddFault(Silence("LD040?")); }, {true}, {},
     Log{"confirm 9", "busy on", "range 0-127", "message 3"} + Ended, 0},
    {"CompareIdentical", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", t.Memory()); }, {true}, {"f.bin"},
     ReadForCompare + Log{"message 6"} + Ended, 0},
    {"CompareOneDiffers", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", Changed(t.Memory(), 1)); }, {true}, {"f.bin"},
     ReadForCompare + Log{"message 7"} + Ended, 0,
     [](DialogActionsTest& t) { EXPECT_EQ(t.view.messages.back().text, LoadMessage(MsgDiffers, 1).text); }},
    {"CompareAllDiffer", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", Changed(t.Memory(), 128)); }, {true}, {"f.bin"},
     ReadForCompare + Log{"message 7"} + Ended, 0,
     [](DialogActionsTest& t) { EXPECT_EQ(t.view.messages.back().text, LoadMessage(MsgDiffers, 128).text); }},
    {"CompareLongFile", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) {
       Bytes longer = t.Memory();
       longer.resize(200, 0xEE);
       WriteBytes(t.directory / "f.bin", longer);
     },
     {true}, {"f.bin"}, ReadForCompare + Log{"message 6"} + Ended, 0},
    {"CompareShortFile", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", Bytes(127)); }, {true}, {"f.bin"},
     ReadForCompare + Log{"message 5"}, 127},
    {"CompareCancelled", &DialogActions::OnCompareWithFile, {}, {true}, {std::nullopt}, ReadForCompare + Ended, 0},
    {"CompareWithoutPort", &DialogActions::OnCompareWithFile,
     [](DialogActionsTest& t) { t.actions.Link().ClosePort(); }, {true}, {},
     Log{"confirm 10", "busy on", "message 3"} + Ended, 0},
    {"Restore", &DialogActions::OnRestoreFromFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", Changed(t.Memory(), 128)); }, {true}, {"f.bin"},
     Log{"confirm 11", "busy on", "choose open", "repaint", "range 0-127"} + Ended, 0,
     [](DialogActionsTest& t) { EXPECT_EQ(t.Memory(), ReadBytes(t.directory / "f.bin")); }},
    {"RestoreCancelled", &DialogActions::OnRestoreFromFile, {}, {true}, {std::nullopt},
     Log{"confirm 11", "busy on", "choose open"} + Ended, 0},
    {"RestoreShortFile", &DialogActions::OnRestoreFromFile,
     [](DialogActionsTest& t) { WriteBytes(t.directory / "f.bin", Bytes(127)); }, {true}, {"f.bin"},
     Log{"confirm 11", "busy on", "choose open", "message 5", "busy off"}, -1},
    {"RestoreMissingFile", &DialogActions::OnRestoreFromFile, {}, {true}, {"missing.bin"},
     Log{"confirm 11", "busy on", "choose open", "message 5", "busy off"}, -1},
    {"RestoreWithoutPort", &DialogActions::OnRestoreFromFile,
     [](DialogActionsTest& t) {
       t.actions.Link().ClosePort();
       WriteBytes(t.directory / "f.bin", Bytes(128));
     },
     {true}, {"f.bin"}, Log{"confirm 11", "busy on", "choose open", "repaint", "message 8"} + Ended, 0},
    {"RestoreByteDoesNotStick", &DialogActions::OnRestoreFromFile,
     [](DialogActionsTest& t) {
       WriteBytes(t.directory / "f.bin", Bytes(128, 0xAA));
       t.receiver.AddFault(FaultRule{.commandPrefix = "LD041", .storeInstead = std::uint8_t{0x55}});
     },
     {true}, {"f.bin"}, Log{"confirm 11", "busy on", "choose open", "repaint", "range 0-127", "message 8"} + Ended, 0},
    {"MediumWithoutPort", &DialogActions::OnSetMediumValues,
     [](DialogActionsTest& t) { t.actions.Link().ClosePort(); }, {true}, {},
     Log{"confirm 12", "busy on", "message 8"} + Ended, 0},
};
// clang-format on

std::string CaseName(const ::testing::TestParamInfo<ActionCase>& test) { return test.param.name; }
INSTANTIATE_TEST_SUITE_P(Paths, EepromActionTest, ::testing::ValuesIn(Cases), CaseName);

TEST_F(DialogActionsTest, TransfersMoveTheImagesWhole) {
  OpenReceiver();
  view.answers = {true, true, true};
  view.files = {directory / "saved.bin", directory / "medium.bin"};
  actions.OnSaveToFile();
  EXPECT_EQ(ReadBytes(directory / "saved.bin"), Memory());
  EXPECT_EQ(view.transferPositions.size(), 128u);
  EXPECT_EQ(view.transferPositions.back(), 127);

  actions.OnSetMediumValues();
  EXPECT_EQ(Memory(), Bytes(MediumValues.begin(), MediumValues.end()));
  // Compared with a file of the medium values, the receiver is now identical.
  WriteBytes(directory / "medium.bin", Bytes(MediumValues.begin(), MediumValues.end()));
  actions.OnCompareWithFile();
  EXPECT_EQ(view.messages.back().number, MsgIdentical);
  EXPECT_FALSE(receiver.InServiceMode());
}

}  // namespace
}  // namespace qlr
