// How close a whole EEPROM read and write come to the wire's own time, what
// qlr5500's write costs with its backup (the region, a read, the backup kept
// and recorded, then only the differing addresses), and what an open but
// idle link costs.
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
#include "backup/change_recorder.h"
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

// qlr5500's write of `image` as it runs once the receiver has answered;
// false when a step failed. `recording` gets the time the backup and the
// two records took.
bool WriteWithBackup(qlr::CReceiverLink& link, const qlr::EepromImage& image, const qlr::BackupFolder& folder,
                     double& recording) {
  qlr::EepromImage current{};
  if (!link.ReadEeprom(0, 128, current.data(), nullptr)) return false;
  std::vector<int> addresses;
  for (int address = 0; address < 128; ++address) {
    if (current[static_cast<std::size_t>(address)] != image[static_cast<std::size_t>(address)]) {
      addresses.push_back(address);
    }
  }
  if (addresses.empty()) return true;
  const qlr::LinkResult<int> region = link.QueryRegion();
  if (!region) return false;
  qlr::ChangeRecord record{.command = "write",
                           .device = link.Device(),
                           .region = region.Value(),
                           .changed = static_cast<int>(addresses.size()),
                           .before = current,
                           .after = image};
  qlr::ChangeRecorder recorder(folder);
  qlr::BackupResult<> begun;
  recording = Seconds([&] { begun = recorder.Begin(record, "EUR/AUS"); });
  if (!begun) return false;
  const qlr::LinkResult<> written = link.WriteEepromAddresses(addresses, image.data(), nullptr);
  qlr::BackupResult<> finished;
  recording += Seconds([&] { finished = recorder.Finish({.done = static_cast<bool>(written)}); });
  return finished && written;
}

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
  std::printf("qlr5500 write with its backup (its region query, %.1f ms ideal, is not in the ideal below):\n",
              wire::IdealRegionSeconds() * 1e3);
  bool withinTarget = true;
  for (const int differing : {128, 3, 0}) {
    emulator.SetMemory(qlr::MediumValues);
    qlr::EepromImage target = qlr::MediumValues;
    for (int i = 0; i < differing; ++i) target[static_cast<std::size_t>(i * 128 / differing)] ^= 0x5A;
    bool written = false;
    double recording = 0;
    const double took = Seconds([&] { written = WriteWithBackup(link, target, folder, recording); });
    const double ideal = idealRead + (differing > 0 ? wire::IdealWriteSeconds(differing) : 0.0);
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
