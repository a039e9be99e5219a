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

LinkResult<> CReceiverLink::CheckPresence(std::chrono::milliseconds pause) {
  LinkResult<> answered = SendAndAwaitOk(command::Presence);
  for (int attempt = 1; !answered && attempt < PresenceTries; ++attempt) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
    answered = SendAndAwaitOk(command::Presence);
  }
  return answered;
}

LinkResult<> CReceiverLink::FindReceiver() {
  for (int number = FirstPort; number <= LastPort; ++number) {
    // Our presence check would land in the kernel's messages, and the settings on a login's terminal.
    if (IsConsolePort(number)) continue;
    if (OpenPort(number) && CheckPresence()) return {};
  }
  return Fail(LinkFailureKind::NoReceiver, "no receiver answered on ports 1 to 16");
}

LinkResult<int> CReceiverLink::QueryRegion() {
  if (auto answered = SendAndAwait(command::Region, "GExx"); !answered) return answered.Failure();
  const int code = HexPairAt(answer_.c_str(), 2);
  // The pattern lets a literal 'x' pass for a digit; such a code is no number.
  if (code < 0) return Fail(LinkFailureKind::WrongAnswer, "GE? answered " + answer_.substr(0, 4), "GE?");
  return code;
}

LinkResult<> CReceiverLink::EnterServiceMode(ProgressSink* sink, int highest) {
  if (auto prepared = SendAndAwaitOk(command::PrepareService); !prepared) return prepared;
  if (auto sent = Send(command::EnterService); !sent) return sent;
  if (auto formatted = SetLineFormat(ServiceBaud, ByteSize, Parity::None, StopBits::Two); !formatted) return formatted;
  for (const char* command : {command::ServiceStepOne, command::ServiceStepTwo}) {
    if (auto answered = SendAndAwait(command, "G00x"); !answered) return answered;
    if (!StartsWith(answer_, "G001")) {
      const std::string name(command, 4);
      return Fail(LinkFailureKind::WrongAnswer, name + " answered " + answer_.substr(0, 4) + " instead of G001", name);
    }
  }
  transfer_.enteredServiceMode = true;
  if (sink) sink->SetRange(0, highest);
  // A late line from before the speed change must not pass for an answer.
  // Best effort: a refused purge does not stop the transfer.
  static_cast<void>(port_.PurgeInput());
  return {};
}

LinkResult<> CReceiverLink::LeaveServiceMode() {
  if (auto sent = Send(command::LeaveService); !sent) return sent;
  if (auto formatted = SetLineFormat(NormalBaud, ByteSize, Parity::None, StopBits::Two); !formatted) return formatted;
  return CheckPresence(ExitRetryPause);
}

LinkResult<> CReceiverLink::Transfer(int start, int count, ProgressSink* sink,
                                     const std::function<LinkResult<>(int address)>& transferAddress, int highest) {
  transfer_ = {};
  LinkResult<> outcome = EnterServiceMode(sink, highest);
  for (int address = start; outcome && address < start + count; ++address) {
    outcome = transferAddress(address);
    if (!outcome) break;
    ++transfer_.addressesDone;
    if (sink) sink->SetPosition(address);
  }
  if (outcome) outcome = LeaveServiceMode();
  transfer_ = {};
  return outcome;
}

LinkResult<> CReceiverLink::ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink) {
  return Transfer(start, count, sink, [this, start, destination](int address) -> LinkResult<> {
    char command[16];
    std::snprintf(command, sizeof command, command::ReadAddressFormat, address);
    if (auto answered = SendAndAwait(command, "LD0xxxx"); !answered) return answered;
    // The echoed address (positions 3 and 4) is not compared: the receiver
    // answers in order, one line per command.
    const int value = HexPairAt(answer_.c_str(), 5);
    // The pattern lets a literal 'x' pass for a digit; such a value is no number.
    if (value < 0) {
      return Fail(LinkFailureKind::WrongAnswer,
                  "address " + std::to_string(address) + " answered " + answer_.substr(0, 7), std::string(command, 6));
    }
    destination[address - start] = static_cast<std::uint8_t>(value);
    return {};
  });
}

LinkResult<> CReceiverLink::WriteAndVerify(int address, int value) {
  char write[16];
  std::snprintf(write, sizeof write, command::WriteAddressFormat, address, value);
  // A rejected write is tried once more.
  if (!SendAndAwaitOk(write)) {
    if (auto retried = SendAndAwaitOk(write); !retried) return retried;
  }
  char read[16];
  std::snprintf(read, sizeof read, command::ReadAddressFormat, address);
  if (auto answered = SendAndAwait(read, "LD0xxxx"); !answered) return answered;
  const int stored = HexPairAt(answer_.c_str(), 5);
  if (stored != value) {
    char step[64];
    std::snprintf(step, sizeof step, "address %02X holds %02X after writing %02X", address, stored, value);
    return Fail(LinkFailureKind::ValueNotKept, step, std::string(write, 7));
  }
  return {};
}

LinkResult<> CReceiverLink::WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink) {
  return Transfer(start, count, sink,
                  [this, start, source](int address) { return WriteAndVerify(address, source[address - start]); });
}

LinkResult<> CReceiverLink::WriteEepromAddresses(const std::vector<int>& addresses, const std::uint8_t* image,
                                                 ProgressSink* sink) {
  for (const int address : addresses) {
    if (address < 0 || address > 127) {
      return Fail(LinkFailureKind::BadRequest, "write: no address " + std::to_string(address));
    }
  }
  if (addresses.empty()) return {};
  const int count = static_cast<int>(addresses.size());
  // The steps are the list's positions, so that the progress counts addresses written.
  return Transfer(
      0, count, sink,
      [this, &addresses, image](int index) {
        const int address = addresses[static_cast<std::size_t>(index)];
        return WriteAndVerify(address, image[address]);
      },
      count - 1);
}

}  // namespace qlr
