// DialogActions: what the main dialog does, free of any toolkit.
//
// It owns the dialog's one CReceiverLink for the dialog's whole life and
// runs each handler from start to end on the caller's (user-interface)
// thread, blocking it while the link talks to the receiver. It touches the
// window only through DialogView. No handler opens, chooses or checks a port
// for the EEPROM actions: they use whatever port the link has open.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "app/dialog_view.h"
#include "link/receiver_link.h"
#include "link/region_names.h"

namespace qlr {

// The list position for a region code: the code itself for 0..15, -1 (no
// selection) for anything else, -1 (no answer) included.
int RegionPosition(int regionCode);

// "QLR5500.BIN" in the current directory, worked out anew at each call.
std::filesystem::path DefaultImagePath();

// The default extension ".BIN" added to a chosen name that has none. An
// existing file is taken as it is when opening, so extension-less files
// stay reachable.
std::filesystem::path WithDefaultExtension(const std::filesystem::path& chosen, FileDialogKind kind);

// The question a file dialog's owner asks before saving to `path`: the
// dialog asked about the name as it was chosen, and an added extension may
// name another file that is there already. Nothing when no question is due.
std::optional<Message> ReplaceQuestion(const std::filesystem::path& chosen, const std::filesystem::path& path,
                                       FileDialogKind kind);

// What the port field's tooltip says about port n: its device, e.g.
// "/dev/ttyUSB0", or that it has none.
std::string PortDescription(int number);

// The busy cursor's nesting count: on adds one, off takes one away but
// never goes below zero. A window toolkit shows the cursor while it is
// above zero.
class BusyCount {
 public:
  void On() { ++count_; }
  // True when there was a level to take away.
  bool Off() {
    if (count_ <= 0) {
      count_ = 0;
      return false;
    }
    --count_;
    return true;
  }
  int Count() const { return count_; }

 private:
  int count_ = 0;
};

class DialogActions {
 public:
  explicit DialogActions(DialogView& view);
  DialogActions(const DialogActions&) = delete;
  DialogActions& operator=(const DialogActions&) = delete;

  // The port number the port field shows: 1..16, 1 at the start.
  int SelectedPort() const { return selectedPort_; }

  // An arrow of the port control: `step` is subtracted from the port (the
  // right arrow proposes -1, the left +1), clamped to 1..16, and that port
  // is opened again even if the number stayed. Returns 0.
  int OnPortSpin(int step);
  // Scans ports 1..16 for the receiver and shows where it was found.
  void OnAutomatic();

  // The four EEPROM actions, each asking first.
  void OnSaveToFile();
  void OnCompareWithFile();
  void OnRestoreFromFile();
  void OnSetMediumValues();

  // True while one of the handlers above runs, its boxes included. A window
  // must not end then: the link may be writing the EEPROM.
  bool IsBusy() const { return running_ > 0; }

  CReceiverLink& Link() { return link_; }

 private:
  // Marks a handler as running for its whole length, on every path out.
  class Running {
   public:
    explicit Running(int& count) : count_(count) { ++count_; }
    ~Running() { --count_; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    int& count_;
  };

  void ShowRegion();

  DialogView& view_;
  CReceiverLink link_;
  int selectedPort_ = CReceiverLink::FirstPort;
  int running_ = 0;
};

}  // namespace qlr
