#include "change/guarded_change.h"

#include <vector>

#include "backup/change_recorder.h"
#include "backup/history.h"
#include "change/service_mode.h"
#include "link/port_map.h"
#include "link/region_names.h"

namespace qlr {
namespace {

using Outcome = ChangeResult::Outcome;

// For the backup's name: "EUR/AUS", or "region-17" for a code without a name.
std::string RegionLabel(int code) {
  return code < static_cast<int>(RegionNames.size()) ? std::string(RegionName(code)) : "region-" + std::to_string(code);
}

Completion CompletionOf(const LinkResult<>& written, const std::vector<int>& addresses,
                        const ConnectedReceiver& receiver, const ChangeView& view) {
  Completion completion;
  completion.done = static_cast<bool>(written);
  completion.written = static_cast<int>(addresses.size());
  if (written) return completion;
  const LinkFailure& failure = written.Failure();
  completion.written = failure.addressesDone;
  if (failure.beganWriting && failure.addressesDone < static_cast<int>(addresses.size())) {
    completion.failedAddress = addresses[static_cast<std::size_t>(failure.addressesDone)];
  }
  completion.why = view.DescribeFailure(failure, receiver.device, receiver.port);
  return completion;
}

int NumberOf(const std::string& backupName, const BackupFolder& folder) {
  for (const Change& change : ReadHistory(folder.path).changes) {
    if (change.record.backupName == backupName) return change.number;
  }
  return 1;
}

ChangeResult Ended(Outcome outcome, const LinkFailure& failure = {}) {
  ChangeResult result;
  result.outcome = outcome;
  result.linkFailure = failure;
  return result;
}

}  // namespace

ChangeResult MakeGuardedChange(const ChangeRequest& request, const ConnectedReceiver& receiver,
                               const BackupFolder& folder, ChangeView& view) {
  CReceiverLink& link = receiver.link;
  if (!request.device.empty() && !SameDevice(request.device, receiver.device) &&
      !view.ConfirmOtherDevice({request.undoneNumber.value_or(0), request.device, receiver.device})) {
    return Ended(Outcome::Declined);
  }
  EepromImage current{};
  const int all = static_cast<int>(current.size());
  const LinkResult<> read = view.RunTransfer(TransferKind::Read, all, [&](ProgressSink* sink) {
    LinkResult<> outcome = link.ReadEeprom(0, all, current.data(), sink);
    LeaveServiceModeAfter(outcome, all, link);
    return outcome;
  });
  if (!read) return Ended(Outcome::ReadFailed, read.Failure());
  if (view.StopRequested()) return Ended(Outcome::Stopped);
  const std::vector<int> addresses = DifferingAddresses(current, request.image);
  if (addresses.empty()) {
    ChangeResult result = Ended(Outcome::AlreadyHeld);
    // Nothing goes into the history but what this read found: whole values again after a change cut short.
    for (const std::string& settled : ChangesSettledBy(ReadHistory(folder.path), receiver.device, current)) {
      if (const BackupResult<> recorded = RecordSettled(folder, settled); !recorded) {
        result.notRecorded = recorded.Failure();
      }
    }
    return result;
  }
  // Asked only when there is something to write: it costs a round trip.
  const LinkResult<int> region = link.QueryRegion();
  if (!region) return Ended(Outcome::RegionUnknown, region.Failure());
  if (request.region && *request.region != region.Value() &&
      !view.ConfirmOtherRegion({request.undoneNumber.value_or(0), *request.region, region.Value(), receiver.device})) {
    return Ended(Outcome::Declined);
  }
  if (!view.ConfirmWrite({request.what, receiver.device, &current, request.image, addresses.size()})) {
    return Ended(Outcome::Declined);
  }

  ChangeRecord record{.command = request.command,
                      .argument = request.argument,
                      .device = receiver.device,
                      .region = region.Value(),
                      .changed = static_cast<int>(addresses.size()),
                      .before = current,
                      .after = request.image};
  ChangeRecorder recorder(folder);
  ChangeResult result;
  result.changed = addresses.size();
  view.RunUncut([&] {
    if (const BackupResult<> begun = recorder.Begin(record, RegionLabel(region.Value())); !begun) {
      result.outcome = Outcome::NoBackup;
      result.backupFailure = begun.Failure();
      return;
    }
    result.backupName = record.backupName;
    const int count = static_cast<int>(addresses.size());
    const LinkResult<> written = view.RunTransfer(TransferKind::ConfirmedWrite, count, [&](ProgressSink* sink) {
      LinkResult<> outcome = link.WriteEepromAddresses(addresses, request.image.data(), sink, current.data());
      LeaveServiceModeAfter(outcome, count, link);
      return outcome;
    });
    result.outcome = written ? Outcome::Written : Outcome::WriteFailed;
    result.linkFailure = written.Failure();
    if (const BackupResult<> finished = recorder.Finish(CompletionOf(written, addresses, receiver, view)); !finished) {
      result.notRecorded = finished.Failure();
    }
  });
  if (result.outcome == Outcome::WriteFailed) result.changeNumber = NumberOf(result.backupName, folder);
  return result;
}

}  // namespace qlr
