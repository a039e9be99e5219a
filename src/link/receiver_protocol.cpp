// The protocol half of CReceiverLink: the receiver's commands.
#include <cstdio>
#include <thread>

#include "link/line_pattern.h"
#include "link/receiver_link.h"

namespace qlr {
namespace {

constexpr int PresenceTries = 3;
constexpr std::chrono::milliseconds ExitRetryPause{100};
constexpr std::uint8_t ByteSize = 8;

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

int CReceiverLink::FindReceiver() {
  for (int number = FirstPort; number <= LastPort; ++number) {
    if (!OpenPort(number)) continue;
    for (int attempt = 0; attempt < PresenceTries; ++attempt) {
      if (SendAndAwaitOk("H101\r\n")) return 1;
    }
  }
  return Fail("no receiver answered on ports 1 to 16");
}

int CReceiverLink::QueryRegion() {
  if (!SendAndAwait("GE?\r\n", "GExx")) return -1;
  return HexPairAt(answer_.c_str(), 2);
}

bool CReceiverLink::EnterServiceMode(ProgressSink* sink) {
  if (!SendAndAwaitOk("G300\r\n")) return false;
  if (!WriteRaw("G105\r\n", 6)) return false;
  if (!SetLineFormat(ServiceBaud, ByteSize, Parity::None, StopBits::Two)) return false;
  for (const char* command : {"GC01\r\n", "GCF0\r\n"}) {
    if (!SendAndAwait(command, "G00x")) return false;
    if (!StartsWith(answer_, "G001")) {
      Fail(std::string(command, 4) + " answered " + answer_.substr(0, 4) + " instead of G001");
      return false;
    }
  }
  if (sink) sink->SetRange(0, 127);
  // A late line from before the speed change must not pass for an answer.
  port_.PurgeInput();
  return true;
}

bool CReceiverLink::LeaveServiceMode() {
  if (!WriteRaw("H100\r\n", 6)) return false;
  if (!SetLineFormat(NormalBaud, ByteSize, Parity::None, StopBits::Two)) return false;
  for (int attempt = 0; attempt < PresenceTries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(ExitRetryPause);
    if (SendAndAwaitOk("H101\r\n")) return true;
  }
  return false;
}

int CReceiverLink::ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink) {
  if (!EnterServiceMode(sink)) return 0;
  char command[16];
  for (int address = start; address < start + count; ++address) {
    std::snprintf(command, sizeof command, "LD0%02X?\r\n", address);
    if (!SendAndAwait(command, "LD0xxxx")) return 0;
    // The echoed address (positions 3 and 4) is not compared: the receiver
    // answers in order, one line per command.
    const int value = HexPairAt(answer_.c_str(), 5);
    // The pattern lets a literal 'x' pass for a digit; such a value is no number.
    if (value < 0) return Fail("address " + std::to_string(address) + " answered " + answer_.substr(0, 7));
    destination[address - start] = static_cast<std::uint8_t>(value);
    if (sink) sink->SetPosition(address);
  }
  return LeaveServiceMode() ? 1 : 0;
}

int CReceiverLink::WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink) {
  if (!EnterServiceMode(sink)) return 0;
  char command[16];
  for (int address = start; address < start + count; ++address) {
    const int value = source[address - start];
    std::snprintf(command, sizeof command, "LD0%02X%02X\r\n", address, value);
    if (!SendAndAwaitOk(command) && !SendAndAwaitOk(command)) return 0;
    std::snprintf(command, sizeof command, "LD0%02X?\r\n", address);
    if (!SendAndAwait(command, "LD0xxxx")) return 0;
    const int stored = HexPairAt(answer_.c_str(), 5);
    if (stored != value) {
      char step[64];
      std::snprintf(step, sizeof step, "address %02X holds %02X after writing %02X", address, stored, value);
      return Fail(step);
    }
    if (sink) sink->SetPosition(address);
  }
  return LeaveServiceMode() ? 1 : 0;
}

}  // namespace qlr
