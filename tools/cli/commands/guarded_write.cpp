#include "cli/commands/guarded_write.h"

#include <vector>

#include "backup/backup_folder.h"
#include "backup/change_recorder.h"
#include "cli/output/confirmation.h"
#include "cli/command_line/exit_codes.h"
#include "cli/output/formatting.h"
#include "cli/output/history_report.h"
#include "cli/commands/interrupt_deferral.h"
#include "cli/commands/receiver_session.h"
#include "cli/commands/transfer.h"
#include "link/region_names.h"
#include "os/utf8_path.h"

namespace qlr::cli {
namespace {

// Rows of the table of changes a confirmation shows.
constexpr std::size_t ShownDifferences = 16;

std::string RegionText(int code) { return std::string(RegionName(code)) + " (" + std::to_string(code) + ")"; }

// For the backup's name: "EUR/AUS", or "region-17" for a code without a name.
std::string RegionLabel(int code) {
  return code < static_cast<int>(RegionNames.size()) ? std::string(RegionName(code)) : "region-" + std::to_string(code);
}

int ReportNoBackup(const BackupFailure& failure, const CliEnvironment& env) {
  env.err << "qlr5500: cannot keep a backup: " << failure.what << "\n"
          << "qlr5500: nothing was written (--no-backup writes without a backup)\n";
  return ExitFile;
}

// Undo: the values of a receiver of another region are written only when
// the user says so once more, or with --force.
int CheckRegion(const Invocation& call, const ChangeRequest& request, int region, const OpenedReceiver& receiver,
                const CliEnvironment& env) {
  if (!request.region || *request.region == region) return ExitSuccess;
  const std::string mismatch = "change " + std::to_string(request.undoneNumber.value_or(0)) +
                               " was made on a receiver of region " + RegionText(*request.region) +
                               ", the receiver on " + receiver.device + " is of region " + RegionText(region);
  if (call.force) {
    env.err << "qlr5500: note: " << mismatch << " (--force)\n";
    return ExitSuccess;
  }
  if (call.yes) {
    env.err << "qlr5500: " << mismatch << ": nothing written (--force writes its values anyway)\n";
    return ExitUsage;
  }
  if (AskToConfirm(mismatch + ": write its values into this one anyway?", env) != Confirmation::Yes) {
    env.err << "qlr5500: nothing written\n";
    return ExitUsage;
  }
  return ExitSuccess;
}

int ConfirmChange(const ChangeRequest& request, const EepromImage& current, std::size_t count,
                  const OpenedReceiver& receiver, const CliEnvironment& env) {
  env.err << "the EEPROM of the receiver on " << receiver.device << " differs from " << request.what << " in " << count
          << (count == 1 ? " byte:\n" : " bytes:\n")
          << FormatDifferences(current, request.image, "receiver", "new", ShownDifferences);
  const std::string question = "write " + request.what + " into the EEPROM of the receiver on " + receiver.device + "?";
  if (AskToConfirm(question, env) != Confirmation::Yes) {
    env.err << "qlr5500: nothing written\n";
    return ExitUsage;
  }
  return ExitSuccess;
}

Completion CompletionOf(const LinkResult<>& written, const std::vector<int>& addresses,
                        const OpenedReceiver& receiver) {
  Completion completion;
  completion.done = static_cast<bool>(written);
  completion.written = static_cast<int>(addresses.size());
  if (written) return completion;
  const LinkFailure& failure = written.Failure();
  completion.written = failure.addressesDone;
  if (failure.enteredServiceMode && failure.addressesDone < static_cast<int>(addresses.size())) {
    completion.failedAddress = addresses[static_cast<std::size_t>(failure.addressesDone)];
  }
  completion.why = LinkFailureText(failure, receiver.device, receiver.port);
  return completion;
}

int NumberOf(const std::string& backupName, const BackupFolder& folder) {
  for (const Change& change : ReadHistory(folder.path).changes) {
    if (change.record.backupName == backupName) return change.number;
  }
  return 1;
}

int ReportWriteFailure(const LinkFailure& failure, std::size_t count, const ChangeRecord& record,
                       const ChangeRecorder& recorder, const OpenedReceiver& receiver, const Invocation& call,
                       const CliEnvironment& env) {
  const int code = ReportLinkFailure(failure, receiver.device, receiver.port, env);
  if (!failure.enteredServiceMode) {
    env.err << "qlr5500: nothing was written\n";
    return code;
  }
  const std::string changed = std::to_string(count) + " changed byte" + (count == 1 ? "" : "s");
  if (failure.addressesDone == static_cast<int>(count)) {
    env.err << "qlr5500: all " << changed
            << " were written and verified, but the receiver did not come back to normal operation\n";
  } else {
    env.err << "qlr5500: the EEPROM is partly written (" << failure.addressesDone << " of " << changed
            << " written and verified)\n";
  }
  env.err << "qlr5500: '" << UndoCommand(NumberOf(record.backupName, recorder.Folder()), call)
          << "' puts back the values from before, kept in " << Utf8OfPath(recorder.Folder().path / record.backupName)
          << "\n"
          << "qlr5500: if the receiver no longer answers, switch it off and on again\n";
  return code;
}

}  // namespace

bool MayWrite(const Invocation& call, const std::string& what, const CliEnvironment& env) {
  // Refused before the port is touched: a script that forgot --yes sends nothing.
  if (call.yes || env.inputIsTerminal) return true;
  env.err << "qlr5500: not writing " << what
          << ": standard input is not a terminal to confirm on (--yes writes without asking)\n";
  return false;
}

int WriteWithBackup(const Invocation& call, const ChangeRequest& request, const CliEnvironment& env) {
  const BackupResult<BackupFolder> folder = FindBackupFolder(ChosenBackupFolder(call));
  if (!folder) return ReportNoBackup(folder.Failure(), env);
  if (const BackupResult<> made = MakeBackupFolder(folder.Value()); !made) return ReportNoBackup(made.Failure(), env);
  ReportCutChanges(ReadHistory(folder.Value().path), call, env, request.command == "undo" ? request.argument : "");

  CReceiverLink link(env.systemCalls);
  const OpenedReceiver receiver = OpenReceiver(link, call.port, env);
  if (receiver.exitCode != ExitSuccess) return receiver.exitCode;
  EepromImage current{};
  if (const LinkResult<> read = ReadImage(link, current, env); !read) {
    const int code = ReportTransferFailure(read.Failure(), receiver, false, env);
    env.err << "qlr5500: nothing was written: no backup without a read (--no-backup writes without one)\n";
    return code;
  }
  const std::vector<int> addresses = DifferingAddresses(current, request.image);
  if (addresses.empty()) {
    env.out << "the EEPROM of the receiver on " << receiver.device << " already holds " << request.what
            << ": nothing written\n";
    if (request.settles.empty()) return ExitSuccess;
    if (const BackupResult<> settled = RecordSettled(folder.Value(), request.settles); !settled) {
      env.err << "qlr5500: " << settled.Failure().what << "\n";
      return ExitFile;
    }
    return ExitSuccess;
  }
  // Asked only when there is something to write: it costs a round trip.
  const LinkResult<int> region = link.QueryRegion();
  if (!region) return ReportLinkFailure(region.Failure(), receiver.device, receiver.port, env);
  if (const int refused = CheckRegion(call, request, region.Value(), receiver, env); refused != ExitSuccess) {
    return refused;
  }
  if (!call.yes) {
    if (const int declined = ConfirmChange(request, current, addresses.size(), receiver, env); declined) {
      return declined;
    }
  }

  ChangeRecord record{.command = request.command,
                      .argument = request.argument,
                      .device = receiver.device,
                      .region = region.Value(),
                      .changed = static_cast<int>(addresses.size()),
                      .before = current,
                      .after = request.image};
  ChangeRecorder recorder(folder.Value());
  LinkResult<> written;
  BackupResult<> finished;
  {
    // The backup, the write and its outcome as one: an interrupt waits for all three.
    const InterruptDeferral deferral;
    if (const BackupResult<> begun = recorder.Begin(record, RegionLabel(region.Value())); !begun) {
      return ReportNoBackup(begun.Failure(), env);
    }
    written = WriteImageAt(link, addresses, request.image, env);
    finished = recorder.Finish(CompletionOf(written, addresses, receiver));
  }
  int code = ExitSuccess;
  if (!written) {
    code = ReportWriteFailure(written.Failure(), addresses.size(), record, recorder, receiver, call, env);
  } else {
    env.out << "wrote " << request.what << " into the EEPROM of the receiver on " << receiver.device << ": "
            << addresses.size() << (addresses.size() == 1 ? " byte" : " bytes") << " changed, all " << current.size()
            << " verified\n"
            << "backup of the values before: " << Utf8OfPath(folder.Value().path / record.backupName) << "\n";
  }
  if (!finished) {
    env.err << "qlr5500: cannot record how the change ended: " << finished.Failure().what
            << "; the history will show it as cut short\n";
    if (code == ExitSuccess) code = ExitFile;
  }
  return code;
}

}  // namespace qlr::cli
