// The protocol half of CReceiverLink: the receiver's commands.
#include <cstdio>
#include <thread>

#include "link/line_pattern.h"
#include "link/receiver_commands.h"
#include "link/receiver_link.h"

namespace qlr {
namespace {

constexpr int PresenceTries = 3;
constexpr std::chrono::milliseconds ExitRetryPause{100};
constexpr std::uint8_t ByteSize = 8;

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

int CReceiverLink::CheckPresence(std::chrono::milliseconds pause) {
  for (int attempt = 0; attempt < PresenceTries; ++attempt) {
    if (attempt > 0 && pause.count() > 0) std::this_thread::sleep_for(pause);
    if (SendAndAwaitOk(command::Presence)) return 1;
  }
  return 0;
}

int CReceiverLink::FindReceiver() {
  for (int number = FirstPort; number <= LastPort; ++number) {
    if (OpenPort(number) && CheckPresence()) return 1;
  }
  return Fail(LinkFailureKind::NoReceiver, "no receiver answered on ports 1 to 16");
}

int CReceiverLink::QueryRegion() {
  if (!SendAndAwait(command::Region, "GExx")) return -1;
  return HexPairAt(answer_.c_str(), 2);
}

bool CReceiverLink::EnterServiceMode(ProgressSink* sink) {
  if (!SendAndAwaitOk(command::PrepareService)) return false;
  if (!Send(command::EnterService)) return false;
  if (!SetLineFormat(ServiceBaud, ByteSize, Parity::None, StopBits::Two)) return false;
  for (const char* command : {command::ServiceStepOne, command::ServiceStepTwo}) {
    if (!SendAndAwait(command, "G00x")) return false;
    if (!StartsWith(answer_, "G001")) {
      const std::string name(command, 4);
      Fail(LinkFailureKind::WrongAnswer, name + " answered " + answer_.substr(0, 4) + " instead of G001", name);
      return false;
    }
  }
  transfer_.enteredServiceMode = true;
  if (sink) sink->SetRange(0, 127);
  // A late line from before the speed change must not pass for an answer.
  port_.PurgeInput();
  return true;
}

bool CReceiverLink::LeaveServiceMode() {
  if (!Send(command::LeaveService)) return false;
  if (!SetLineFormat(NormalBaud, ByteSize, Parity::None, StopBits::Two)) return false;
  return CheckPresence(ExitRetryPause) == 1;
}

int CReceiverLink::Transfer(int start, int count, ProgressSink* sink,
                            const std::function<int(int address)>& transferAddress) {
  transfer_ = {};
  bool ok = EnterServiceMode(sink);
  for (int address = start; ok && address < start + count; ++address) {
    ok = transferAddress(address) == 1;
    if (!ok) break;
    ++transfer_.addressesDone;
    if (sink) sink->SetPosition(address);
  }
  ok = ok && LeaveServiceMode();
  transfer_ = {};
  return ok ? 1 : 0;
}

int CReceiverLink::ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink) {
  return Transfer(start, count, sink, [this, start, destination](int address) {
    char command[16];
    std::snprintf(command, sizeof command, command::ReadAddressFormat, address);
    if (!SendAndAwait(command, "LD0xxxx")) return 0;
    // The echoed address (positions 3 and 4) is not compared: the receiver
    // answers in order, one line per command.
    const int value = HexPairAt(answer_.c_str(), 5);
    // The pattern lets a literal 'x' pass for a digit; such a value is no number.
    if (value < 0) {
      return Fail(LinkFailureKind::WrongAnswer, "address " + std::to_string(address) + " answered " + answer_.substr(0, 7),
                  std::string(command, 6));
    }
    destination[address - start] = static_cast<std::uint8_t>(value);
    return 1;
  });
}

int CReceiverLink::WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink) {
  return Transfer(start, count, sink, [this, start, source](int address) {
    const int value = source[address - start];
    char write[16];
    std::snprintf(write, sizeof write, command::WriteAddressFormat, address, value);
    if (!SendAndAwaitOk(write) && !SendAndAwaitOk(write)) return 0;
    char read[16];
    std::snprintf(read, sizeof read, command::ReadAddressFormat, address);
    if (!SendAndAwait(read, "LD0xxxx")) return 0;
    const int stored = HexPairAt(answer_.c_str(), 5);
    if (stored != value) {
      char step[64];
      std::snprintf(step, sizeof step, "address %02X holds %02X after writing %02X", address, stored, value);
      return Fail(LinkFailureKind::ValueNotKept, step, std::string(write, 7));
    }
    return 1;
  });
}

}  // namespace qlr
