#include "app/eeprom_app.h"

#include "app/command_tail.h"
#include "app/snapshot.h"
#include "link/receiver_link.h"

namespace qlr {

CEepromApp::CEepromApp(std::string commandTail, DialogMode runDialog)
    : commandTail_(std::move(commandTail)), runDialog_(std::move(runDialog)) {}

bool CEepromApp::InitInstance() {
  if (commandTail_.empty()) {
    if (runDialog_) runDialog_();
    return false;
  }
  if (IsSnapshotCommand(commandTail_)) {
    CReceiverLink link;
    TakeSnapshot(link);
  }
  return false;
}

}  // namespace qlr
