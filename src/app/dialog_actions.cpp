#include "app/dialog_actions.h"

#include <algorithm>
#include <system_error>

#include "image/eeprom_image.h"
#include "image/image_file.h"
#include "link/port_map.h"
#include "os/utf8_path.h"

namespace qlr {
namespace {

constexpr const char* DefaultFileName = "QLR5500.BIN";
constexpr const char* DefaultExtension = ".BIN";
constexpr int ImageSize = static_cast<int>(EepromSize);

}  // namespace

int RegionPosition(int regionCode) {
  return regionCode >= 0 && regionCode < static_cast<int>(RegionNames.size()) ? regionCode : -1;
}

std::filesystem::path DefaultImagePath() {
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  // Without a current directory the bare name still means "here".
  if (error) return DefaultFileName;
  return directory / DefaultFileName;
}

std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, FileDialogKind kind) {
  if (chosen.empty() || chosen.has_extension() || !chosen.has_filename()) return chosen;
  if (kind == FileDialogKind::Open) {
    std::error_code error;
    if (std::filesystem::exists(chosen, error)) return chosen;
  }
  std::filesystem::path extended = chosen;
  extended += DefaultExtension;
  return extended;
}

std::optional<Message> ReplaceQuestion(const std::filesystem::path& chosen, const std::filesystem::path& path,
                                       FileDialogKind kind) {
  std::error_code error;
  if (kind != FileDialogKind::SaveAs || path == chosen || !std::filesystem::exists(path, error)) return std::nullopt;
  return Message{0, "A file named \"" + Utf8OfPath(path.filename()) + "\" already exists. Do you want to replace it?",
                 MessageKind::Confirmation};
}

std::string PortDescription(int number) {
  std::string device = DeviceForPort(number);
  if (device.empty()) return "COM" + std::to_string(number) + ": no serial device";
  return device;
}

DialogActions::DialogActions(DialogView& view) : view_(view) {}

// No answer leaves the list without a selection, as an unknown code does.
void DialogActions::ShowRegion() { view_.SelectRegion(RegionPosition(link_.QueryRegion().ValueOr(-1))); }

int DialogActions::OnPortSpin(int step) {
  const Running running(running_);
  view_.BusyCursorOn();
  // Widened so that no proposed step can overflow before the clamp.
  const long long wanted = static_cast<long long>(selectedPort_) - step;
  selectedPort_ = static_cast<int>(std::clamp<long long>(wanted, CReceiverLink::FirstPort, CReceiverLink::LastPort));
  view_.ShowPort(selectedPort_);
  if (!link_.OpenPort(selectedPort_)) {
    view_.Notify(LoadMessage(MsgPortUnavailable, selectedPort_));
  } else {
    // A receiver that does not answer is no reason for a message.
    static_cast<void>(link_.CheckPresence());
    ShowRegion();
  }
  view_.BusyCursorOff();
  return 0;
}

void DialogActions::OnAutomatic() {
  const Running running(running_);
  view_.BusyCursorOn();
  if (!link_.FindReceiver()) {
    view_.Notify(LoadMessage(MsgReceiverNotFound));
  } else {
    selectedPort_ = link_.PortNumber();
    ShowRegion();
    view_.ShowPort(selectedPort_);
  }
  view_.BusyCursorOff();
}

void DialogActions::OnSaveToFile() {
  const Running running(running_);
  if (!view_.Confirm(LoadMessage(MsgConfirmSave))) return;
  view_.BusyCursorOn();
  EepromImage image{};
  if (!link_.ReadEeprom(0, ImageSize, image.data(), &view_.ProgressBar())) {
    view_.Notify(LoadMessage(MsgEepromReadFailed));
  } else {
    view_.BusyCursorOff();
    if (const auto path = view_.ChooseFile(FileDialogKind::SaveAs, DefaultImagePath())) {
      // A file error keeps the bar where the read left it.
      if (!SaveImageFile(*path, image)) {
        view_.Notify(LoadMessage(MsgFileWriteFailed));
        return;
      }
    }
  }
  view_.SetProgressPosition(0);
  view_.BusyCursorOff();
}

void DialogActions::OnCompareWithFile() {
  const Running running(running_);
  if (!view_.Confirm(LoadMessage(MsgConfirmCompare))) return;
  view_.BusyCursorOn();
  EepromImage fromReceiver{};
  if (!link_.ReadEeprom(0, ImageSize, fromReceiver.data(), &view_.ProgressBar())) {
    view_.Notify(LoadMessage(MsgEepromReadFailed));
  } else {
    view_.BusyCursorOff();
    if (const auto path = view_.ChooseFile(FileDialogKind::Open, DefaultImagePath())) {
      EepromImage fromFile{};
      if (!LoadImageFile(*path, fromFile)) {
        view_.Notify(LoadMessage(MsgFileReadFailed));
        return;
      }
      const int differences = CountDifferences(fromReceiver, fromFile);
      if (differences == 0) view_.Notify(LoadMessage(MsgIdentical));
      else view_.Notify(LoadMessage(MsgDiffers, differences));
    }
  }
  view_.SetProgressPosition(0);
  view_.BusyCursorOff();
}

void DialogActions::OnRestoreFromFile() {
  const Running running(running_);
  if (!view_.Confirm(LoadMessage(MsgConfirmRestore))) return;
  view_.BusyCursorOn();
  if (const auto path = view_.ChooseFile(FileDialogKind::Open, DefaultImagePath())) {
    EepromImage image{};
    if (!LoadImageFile(*path, image)) {
      view_.Notify(LoadMessage(MsgFileReadFailed));
      view_.BusyCursorOff();
      return;
    }
    // The closed file dialog's area would stay blank through the transfer.
    view_.RepaintNow();
    if (!link_.WriteEeprom(0, ImageSize, image.data(), &view_.ProgressBar())) {
      view_.Notify(LoadMessage(MsgEepromWriteFailed));
    }
  }
  view_.SetProgressPosition(0);
  view_.BusyCursorOff();
}

void DialogActions::OnSetMediumValues() {
  const Running running(running_);
  if (!view_.Confirm(LoadMessage(MsgConfirmMediumValues))) return;
  view_.BusyCursorOn();
  if (!link_.WriteEeprom(0, ImageSize, MediumValues.data(), &view_.ProgressBar())) {
    view_.Notify(LoadMessage(MsgEepromWriteFailed));
  }
  view_.SetProgressPosition(0);
  view_.BusyCursorOff();
}

}  // namespace qlr
