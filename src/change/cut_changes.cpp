#include "change/cut_changes.h"

namespace qlr {

std::vector<const Change*> UnsettledChanges(const History& history, std::string_view except) {
  std::vector<const Change*> unsettled;
  for (const Change& change : history.changes) {
    if (change.unsettled && change.record.backupName != except) unsettled.push_back(&change);
  }
  return unsettled;
}

}  // namespace qlr
