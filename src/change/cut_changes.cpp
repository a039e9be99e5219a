#include "change/cut_changes.h"

#include <map>

namespace qlr {

std::vector<UnsettledChange> UnsettledChanges(const History& history, int undoing) {
  // The changes are newest first: the last one met on a device is its oldest.
  std::map<std::string, int> oldest;
  for (const Change& change : history.changes) {
    if (change.unsettled) oldest[change.record.device] = change.number;
  }
  std::vector<UnsettledChange> unsettled;
  for (const Change& change : history.changes) {
    const int undo = change.unsettled ? oldest[change.record.device] : 0;
    if (change.unsettled && undo != undoing) unsettled.push_back({change, undo});
  }
  return unsettled;
}

}  // namespace qlr
