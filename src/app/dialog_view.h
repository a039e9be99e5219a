// DialogView: everything the dialog's handlers need from the window.
//
// The handlers (DialogActions) reach the screen only through this interface,
// so their order of steps can be tested without a display. CEepromDlg
// implements it with wxWidgets; tests implement it with a recorder. Every
// call comes on the user-interface thread and blocks until it is done.
#pragma once

#include <filesystem>
#include <optional>

#include "app/message_table.h"
#include "link/progress_sink.h"

namespace qlr {

enum class FileDialogKind { SaveAs, Open };

class DialogView {
 public:
  virtual ~DialogView() = default;

  // A modal Yes/No box; true on Yes.
  virtual bool Confirm(const Message& message) = 0;
  // A modal box with an OK button.
  virtual void Notify(const Message& message) = 0;
  // The file dialog of that kind, proposing `proposal`; the chosen full path
  // (the default extension already added), or nothing on Cancel.
  virtual std::optional<std::filesystem::path> ChooseFile(FileDialogKind kind,
                                                          const std::filesystem::path& proposal) = 0;

  // The busy cursor's nesting count goes up, or down but never below zero.
  virtual void BusyCursorOn() = 0;
  virtual void BusyCursorOff() = 0;

  // The port field shows this number.
  virtual void ShowPort(int number) = 0;
  // The region list selects this position, or nothing (and shows an empty
  // field) for -1.
  virtual void SelectRegion(int position) = 0;

  // The progress bar, as the link drives it during a transfer.
  virtual ProgressSink& ProgressBar() = 0;
  // The handlers' own setting of the bar's position.
  virtual void SetProgressPosition(int position) = 0;
  // Repaints at once what needs it, before a transfer blocks the thread.
  virtual void RepaintNow() = 0;
};

}  // namespace qlr
