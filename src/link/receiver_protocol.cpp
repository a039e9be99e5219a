// The protocol half of CReceiverLink: the receiver's commands.
#include <cstdio>
#include <cstring>
#include <thread>

#include "link/receiver_commands.h"
#include "link/receiver_link.h"

namespace qlr {
namespace {

constexpr int PresenceTries = 3;
constexpr std::chrono::milliseconds ExitRetryPause{100};
constexpr std::uint8_t ByteSize = 8;

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

// A service-mode command for `address` (and the value written there), as it goes on the wire.
std::string AddressCommand(const command::Command& row, int address, int value = 0) {
  char text[16];
  std::snprintf(text, sizeof text, row.text, address, value);
  return text;
}

// What of an answer line its row's pattern covers, for failure records.
std::string Covered(const std::string& line, const command::Command& row) {
  return line.substr(0, std::strlen(row.answer));
}

}  // namespace

LinkResult<> CReceiverLink::CheckPresence(std::chrono::milliseconds pause) {
  LinkResult<> answered = SendAndAwaitOk(command::Presence.text);
  for (int attempt = 1; !answered && attempt < PresenceTries; ++attempt) {
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
    answered = SendAndAwaitOk(command::Presence.text);
  }
  return answered;
}

LinkResult<std::chrono::steady_clock::duration> CReceiverLink::TimePresence() {
  const auto sent = std::chrono::steady_clock::now();
  if (auto answered = SendAndAwaitOk(command::Presence.text); !answered) return answered.Failure();
  return std::chrono::steady_clock::now() - sent;
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
  const command::Command& region = command::Region;
  if (auto answered = SendAndAwait(region.text, region.answer); !answered) return answered.Failure();
  const int code = region.ValueIn(answer_);
  // The pattern lets a literal 'x' pass for a digit; such a code is no number.
  if (code < 0) {
    const std::string name = command::Name(region.text);
    return Fail(LinkFailureKind::WrongAnswer, name + " answered " + Covered(answer_, region), name);
  }
  return code;
}

LinkResult<> CReceiverLink::EnterServiceMode(ProgressSink* sink, int highest) {
  if (auto prepared = SendAndAwaitOk(command::PrepareService.text); !prepared) return prepared;
  if (auto sent = Send(command::EnterService.text); !sent) return sent;
  if (auto formatted = SetLineFormat(ServiceBaud, ByteSize, Parity::None, StopBits::Two); !formatted) return formatted;
  for (const command::Command* step : {&command::ServiceStepOne, &command::ServiceStepTwo}) {
    if (auto answered = SendAndAwait(step->text, step->answer); !answered) return answered;
    if (!StartsWith(answer_, step->done)) {
      const std::string name = command::Name(step->text);
      return Fail(LinkFailureKind::WrongAnswer,
                  name + " answered " + Covered(answer_, *step) + " instead of " + step->done, name);
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
  if (auto sent = Send(command::LeaveService.text); !sent) return sent;
  if (auto formatted = SetLineFormat(NormalBaud, ByteSize, Parity::None, StopBits::Two); !formatted) return formatted;
  return CheckPresence(ExitRetryPause);
}

LinkResult<> CReceiverLink::ReturnToNormalOperation() { return LeaveServiceMode(); }

LinkResult<> CReceiverLink::Transfer(int start, int count, ProgressSink* sink,
                                     const std::function<LinkResult<>(int address)>& transferAddress, int highest,
                                     const std::function<LinkResult<>()>& beforeFirst) {
  transfer_ = {};
  LinkResult<> outcome = EnterServiceMode(sink, highest);
  if (outcome && beforeFirst) outcome = beforeFirst();
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

LinkResult<int> CReceiverLink::ReadAddressValue(int address) {
  const command::Command& read = command::ReadAddress;
  const std::string command = AddressCommand(read, address);
  if (auto answered = SendAndAwait(command.c_str(), read.answer); !answered) return answered.Failure();
  // The echoed address is not compared: the receiver answers in order, one
  // line per command.
  const int value = read.ValueIn(answer_);
  // The pattern lets a literal 'x' pass for a digit; such a value is no number.
  if (value < 0) {
    return Fail(LinkFailureKind::WrongAnswer,
                "address " + std::to_string(address) + " answered " + Covered(answer_, read), command::Name(command));
  }
  return value;
}

LinkResult<> CReceiverLink::ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink) {
  return Transfer(start, count, sink, [this, start, destination](int address) -> LinkResult<> {
    const LinkResult<int> value = ReadAddressValue(address);
    if (!value) return value.Failure();
    destination[address - start] = static_cast<std::uint8_t>(value.Value());
    return {};
  });
}

LinkResult<> CReceiverLink::WriteAndVerify(int address, int value) {
  const std::string write = AddressCommand(command::WriteAddress, address, value);
  transfer_.beganWriting = true;
  // A rejected write is tried once more.
  if (!SendAndAwaitOk(write.c_str())) {
    if (auto retried = SendAndAwaitOk(write.c_str()); !retried) return retried;
  }
  const command::Command& read = command::ReadAddress;
  if (auto answered = SendAndAwait(AddressCommand(read, address).c_str(), read.answer); !answered) return answered;
  const int stored = read.ValueIn(answer_);
  if (stored != value) {
    char step[64];
    std::snprintf(step, sizeof step, "address %02X holds %02X after writing %02X", address, stored, value);
    return Fail(LinkFailureKind::ValueNotKept, step, command::Name(write));
  }
  return {};
}

LinkResult<> CReceiverLink::WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink) {
  return Transfer(start, count, sink,
                  [this, start, source](int address) { return WriteAndVerify(address, source[address - start]); });
}

// Every old value read a second time before the first is replaced; a value
// that differs is read a third time, since one garbled answer is no change of
// the receiver.
LinkResult<> CReceiverLink::ConfirmOldValues(const std::vector<int>& addresses, const std::uint8_t* before) {
  for (const int address : addresses) {
    LinkResult<int> value = ReadAddressValue(address);
    if (value && value.Value() != before[address]) value = ReadAddressValue(address);
    if (!value) return value.Failure();
    if (value.Value() != before[address]) {
      char step[64];
      std::snprintf(step, sizeof step, "address %02X holds %02X, read as %02X before", address, value.Value(),
                    before[address]);
      return Fail(LinkFailureKind::ValueChanged, step, command::Name(AddressCommand(command::ReadAddress, address)));
    }
  }
  return {};
}

LinkResult<> CReceiverLink::WriteEepromAddresses(const std::vector<int>& addresses, const std::uint8_t* image,
                                                 ProgressSink* sink, const std::uint8_t* before) {
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
      count - 1, before ? std::function<LinkResult<>()>([&] { return ConfirmOldValues(addresses, before); }) : nullptr);
}

}  // namespace qlr
