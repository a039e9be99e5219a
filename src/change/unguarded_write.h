// Writing a whole image without reading the EEPROM first (qlr5500's
// --no-backup): all 128 addresses, each read back, nothing kept, nothing in
// the history. For a receiver whose values are lost already.
#pragma once

#include <string>

#include "change/change_view.h"
#include "change/guarded_change.h"

namespace qlr {

struct UnguardedResult {
  bool declined = false;  // the view refused (and told its user)
  LinkResult<> written{};
};

UnguardedResult WriteWithoutBackup(const EepromImage& image, const std::string& what, const ConnectedReceiver& receiver,
                                   ChangeView& view);

}  // namespace qlr
