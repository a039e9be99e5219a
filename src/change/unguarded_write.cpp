#include "change/unguarded_write.h"

#include "change/service_mode.h"

namespace qlr {

UnguardedResult WriteWithoutBackup(const EepromImage& image, const std::string& what, const ConnectedReceiver& receiver,
                                   ChangeView& view) {
  UnguardedResult result;
  if (!view.ConfirmWrite({what, receiver.device, nullptr, image, image.size()})) {
    result.declined = true;
    return result;
  }
  const int all = static_cast<int>(image.size());
  result.written = view.RunTransfer(TransferKind::Write, all, [&](ProgressSink* sink) {
    LinkResult<> outcome = receiver.link.WriteEeprom(0, all, image.data(), sink);
    LeaveServiceModeAfter(outcome, all, receiver.link);
    return outcome;
  });
  return result;
}

}  // namespace qlr
