// How close a whole EEPROM read and write come to the wire's own time, and
// what an open but idle link costs.
//
// The emulator paces the line like a real one; link/wire_time.h has the ideal.
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "emulator/receiver_emulator.h"
#include "image/eeprom_image.h"
#include "link/port_map.h"
#include "link/receiver_link.h"
#include "link/wire_time.h"

namespace {

using Clock = std::chrono::steady_clock;

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

  const double idealRead = qlr::wire::IdealReadSeconds();
  const double idealWrite = qlr::wire::IdealWriteSeconds();
  std::printf("ReadEeprom   %7.1f ms   ideal %7.1f ms   ratio %.3f\n", read * 1e3, idealRead * 1e3, read / idealRead);
  std::printf("WriteEeprom  %7.1f ms   ideal %7.1f ms   ratio %.3f\n", write * 1e3, idealWrite * 1e3,
              write / idealWrite);

  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const double idleCpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("idle open link: %.3f ms CPU over 2 s (reader and emulator blocked in poll)\n", idleCpu * 1e3);

  const bool withinTarget = read / idealRead <= 1.05 && write / idealWrite <= 1.05;
  std::printf("target ratio <= 1.05: %s\n", withinTarget ? "met" : "NOT met");
  return 0;
}
