// How close a whole EEPROM read and write come to the wire's own time, what
// qlr5500's write costs with its backup (the sequence of src/change: a read,
// the region, the backup kept and recorded, then each differing address read
// again and written), and what an open but idle link costs.
//
// The emulator paces the line like a real one; link/wire_time.h has the ideal.
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_folder.h"
#include "change/guarded_change.h"
#include "emulator/receiver_emulator.h"
#include "image/eeprom_image.h"
#include "link/port_map.h"
#include "link/receiver_link.h"
#include "link/wire_time.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace wire = qlr::wire;

double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <typename Call>
double Seconds(Call&& call) {
  const auto start = Clock::now();
  call();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// What qlr5500's write asks of its user, answered at once; it times the
// steps that are not the line's: the backup and the records.
class BenchView final : public qlr::ChangeView {
 public:
  bool ConfirmWrite(const qlr::PlannedWrite&) override { return true; }
  bool ConfirmOtherDevice(const qlr::OtherDevice&) override { return true; }
  bool ConfirmOtherRegion(const qlr::OtherRegion&) override { return true; }
  std::string DescribeFailure(const qlr::LinkFailure& failure, const std::string&, int) const override {
    return failure.step;
  }
  qlr::LinkResult<> RunTransfer(qlr::TransferKind kind, int,
                                const std::function<qlr::LinkResult<>(qlr::ProgressSink*)>& transfer) override {
    qlr::LinkResult<> outcome;
    const double took = Seconds([&] { outcome = transfer(nullptr); });
    if (kind != qlr::TransferKind::Read) writing += took;
    return outcome;
  }
  bool StopRequested() const override { return false; }
  void RunUncut(const std::function<void()>& steps) override { uncut += Seconds(steps); }

  // The backup and the two records: the uncut steps but the write.
  double Recording() const { return uncut - writing; }

 private:
  double writing = 0;
  double uncut = 0;
};

}  // namespace

int main() {
  qlr::emu::ReceiverEmulator emulator(qlr::emu::EmulatorOptions{.pace = true});
  ::setenv(qlr::PortsVariable, emulator.DevicePath().c_str(), 1);
  qlr::CReceiverLink link;
  if (!link.OpenPort(1)) {
    std::fprintf(stderr, "cannot open the emulator's port %s\n", emulator.DevicePath().c_str());
    return 1;
  }

  qlr::EepromImage image{};
  qlr::LinkResult<> readOutcome;
  qlr::LinkResult<> writeOutcome;
  const double read = Seconds([&] { readOutcome = link.ReadEeprom(0, 128, image.data(), nullptr); });
  const double write = Seconds([&] { writeOutcome = link.WriteEeprom(0, 128, qlr::MediumValues.data(), nullptr); });
  if (!readOutcome || !writeOutcome || emulator.Memory() != qlr::MediumValues) {
    const std::string& step = !readOutcome ? readOutcome.Failure().step : writeOutcome.Failure().step;
    std::fprintf(stderr, "a transfer failed: %s\n", step.c_str());
    return 1;
  }

  const double idealRead = wire::IdealReadSeconds();
  const double idealWrite = wire::IdealWriteSeconds();
  std::printf("ReadEeprom   %7.1f ms   ideal %7.1f ms   ratio %.3f\n", read * 1e3, idealRead * 1e3, read / idealRead);
  std::printf("WriteEeprom  %7.1f ms   ideal %7.1f ms   ratio %.3f\n", write * 1e3, idealWrite * 1e3,
              write / idealWrite);

  // The backups go to a scratch folder on the file system of /tmp.
  std::string scratch = (std::filesystem::temp_directory_path() / "qlr-bench-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr) return 1;
  const qlr::BackupFolder folder{.path = scratch};
  std::printf("qlr5500 write with its backup (ideal: the read, the region query and the confirmed write):\n");
  bool withinTarget = true;
  for (const int differing : {128, 3, 0}) {
    emulator.SetMemory(qlr::MediumValues);
    qlr::EepromImage target = qlr::MediumValues;
    for (int i = 0; i < differing; ++i) target[static_cast<std::size_t>(i * 128 / differing)] ^= 0x5A;
    BenchView view;
    qlr::ChangeResult result;
    const double took = Seconds([&] {
      result = qlr::MakeGuardedChange({.image = target, .what = "the bench's image", .command = "write"},
                                      {link, link.Device(), 1}, folder, view);
    });
    const double recording = view.Recording();
    const bool written = result.outcome == qlr::ChangeResult::Outcome::Written ||
                         result.outcome == qlr::ChangeResult::Outcome::AlreadyHeld;
    const double ideal =
        idealRead + (differing > 0 ? wire::IdealRegionSeconds() + wire::IdealConfirmedWriteSeconds(differing) : 0.0);
    if (!written || emulator.Memory() != target) {
      std::fprintf(stderr, "the write of %d differing bytes failed\n", differing);
      return 1;
    }
    std::printf("  %3d differ  %7.1f ms   ideal %7.1f ms   ratio %.3f   backup and records %5.1f ms\n", differing,
                took * 1e3, ideal * 1e3, took / ideal, recording * 1e3);
    withinTarget = withinTarget && took / ideal <= 1.08;
  }
  std::printf("  --no-backup %7.1f ms   ideal %7.1f ms   ratio %.3f (WriteEeprom above)\n", write * 1e3,
              idealWrite * 1e3, write / idealWrite);
  std::filesystem::remove_all(scratch);

  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double idleCpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("idle open link: %.3f ms CPU over 2 s (reader and emulator blocked in poll)\n", idleCpu * 1e3);

  withinTarget = withinTarget && read / idealRead <= 1.05 && write / idealWrite <= 1.05;
  std::printf("target ratio <= 1.05 (a transfer), <= 1.08 (a write with its backup): %s\n",
              withinTarget ? "met" : "NOT met");
  return 0;
}
