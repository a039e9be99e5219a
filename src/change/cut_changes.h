// The changes that may have left the EEPROM partly written (cut short, or
// failed part-way) and that nothing has settled since: every command that
// talks to a receiver names them first, with the one undo that brings back
// the last values the receiver held whole.
#pragma once

#include <vector>

#include "backup/history.h"

namespace qlr {

struct UnsettledChange {
  Change change{};
  // The change whose undo brings back the last whole values of its receiver:
  // of a chain of unsettled changes on one device, the oldest.
  int undo = 0;
};

// The unsettled changes of `history`, newest first. A device whose advised
// undo is change `undoing` (an undo about to be made) is left out.
std::vector<UnsettledChange> UnsettledChanges(const History& history, int undoing = 0);

}  // namespace qlr
