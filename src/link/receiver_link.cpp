// The transport half of CReceiverLink: port, reader thread, command exchange.
#include <cstring>
#include <system_error>

#include "link/line_pattern.h"
#include "link/port_map.h"
#include "link/receiver_commands.h"
#include "link/receiver_link.h"
#include "link/thread_priority.h"

namespace qlr {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds ReaderStartLimit{3000};
constexpr milliseconds WriteLimit{500};
constexpr milliseconds AnswerLimit{500};
constexpr int DrainTries = 10;
constexpr milliseconds DrainPause{100};
constexpr milliseconds SettlePause{20};

}  // namespace

CReceiverLink::CReceiverLink(const SystemCalls* calls, const PortMap* ports, LineTrace* trace)
    : ports_(ports), trace_(trace), port_(calls) {}

CReceiverLink::~CReceiverLink() { ClosePort(); }

LinkFailure CReceiverLink::Fail(LinkFailureKind kind, std::string step, std::string command, int sysErrno) const {
  return {KindOfSystemError(sysErrno, kind),
          std::move(command),
          sysErrno,
          transfer_.enteredServiceMode,
          transfer_.addressesDone,
          std::move(step),
          transfer_.beganWriting};
}

LinkResult<> CReceiverLink::OpenPort(int number) {
  std::string device;
  if (number >= FirstPort && number <= LastPort) device = ports_ ? ports_->DeviceFor(number) : DeviceForPort(number);
  return OpenPort(number, device);
}

bool CReceiverLink::IsConsolePort(int number) const {
  return ports_ ? ports_->IsConsole(number) : PortMap::OfProcess().IsConsole(number);
}

LinkResult<> CReceiverLink::OpenPort(int number, const std::string& device) {
  ClosePort();
  const auto failOpen = [this](LinkFailureKind kind, std::string step, int sysErrno) {
    ClosePort();
    return Fail(kind, std::move(step), {}, sysErrno);
  };
  using Kind = LinkFailureKind;
  if (number == 0) return Fail(Kind::BadRequest, "open: port number 0", {}, EINVAL);
  if (device.empty()) {
    return Fail(Kind::NoDevice, "open port " + std::to_string(number) + ": no such device", {}, ENODEV);
  }
  const auto opened = port_.Open(device);
  if (trace_) trace_->PortOpened(LineTrace::Clock::now(), device, opened.Failure().sysErrno);
  if (!opened) return failOpen(Kind::SystemError, "open " + device, opened.Failure().sysErrno);
  if (const auto formatted = SetLineFormat(NormalBaud, 8, Parity::None, StopBits::Two); !formatted) {
    return failOpen(Kind::LineSettingsRefused, "set line format on " + device, formatted.Failure().sysErrno);
  }
  if (const auto purged = port_.PurgeInput(); !purged) {
    return failOpen(Kind::LineSettingsRefused, "purge input on " + device, purged.Failure().sysErrno);
  }
  handover_.Reset();
  try {
    reader_ = std::thread(&CReceiverLink::ReaderThread, this);
  } catch (const std::system_error& error) {
    return failOpen(Kind::SystemError, "start reader thread", error.code().value());
  }
  std::string ignored;
  if (!handover_.Take(ReaderStartLimit, ignored)) return failOpen(Kind::SystemError, "reader thread did not start", 0);
  handover_.Reset();
  portNumber_ = number;
  return {};
}

LinkResult<> CReceiverLink::SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits) {
  if (!port_.IsOpen()) return Fail(LinkFailureKind::BadRequest, "set line format: port not open");
  // Let what is still on the wire go out (and come in) before the speed changes.
  for (int attempt = 0; attempt < DrainTries; ++attempt) {
    const auto queued = port_.QueueCounts();
    if (queued && queued.Value().input == 0 && queued.Value().output == 0) break;
    std::this_thread::sleep_for(DrainPause);
  }
  std::this_thread::sleep_for(SettlePause);
  // Best effort: the format that follows is what must not fail.
  static_cast<void>(port_.PurgeInput());
  const auto formatted = port_.SetLineFormat(baud, byteSize, parity, stopBits);
  if (trace_) {
    trace_->LineFormatSet(LineTrace::Clock::now(), {baud, byteSize, parity, stopBits}, formatted.Failure().sysErrno);
  }
  if (!formatted) {
    return Fail(LinkFailureKind::LineSettingsRefused, "set line format to " + std::to_string(baud) + " baud", {},
                formatted.Failure().sysErrno);
  }
  return {};
}

void CReceiverLink::ClosePort() {
  if (reader_.joinable()) {
    port_.WakeReader();
    reader_.join();
  }
  const bool wasOpen = port_.IsOpen();
  port_.Close();
  if (trace_ && wasOpen) trace_->PortClosed(LineTrace::Clock::now());
  portNumber_ = 0;
  handover_.Clear();
}

LinkResult<> CReceiverLink::WriteRaw(const char* bytes, std::uint32_t length) {
  const auto command = [bytes, length] { return command::Name(std::string(bytes, length)); };
  if (portNumber_ == 0 || !port_.IsOpen()) return Fail(LinkFailureKind::BadRequest, "port not open", command());
  if (trace_) trace_->Sending(LineTrace::Clock::now(), {bytes, length});
  if (const auto written = port_.Write(bytes, length, WriteLimit); !written) {
    const SerialFailure& failure = written.Failure();
    if (trace_) trace_->WriteFailed(LineTrace::Clock::now(), failure.sysErrno);
    const std::string device = port_.Device();
    ClosePort();
    if (failure.sysErrno == 0) {
      return Fail(LinkFailureKind::WriteTimedOut, "write to " + device + " timed out", command());
    }
    return Fail(LinkFailureKind::WriteFailed, "write to " + device, command(), failure.sysErrno);
  }
  return {};
}

LinkResult<> CReceiverLink::Send(const char* command) {
  return WriteRaw(command, static_cast<std::uint32_t>(std::strlen(command)));
}

// Waits for lines until one matches; each line gets a fresh 500 ms.
bool CReceiverLink::AwaitLine(const char* pattern, std::string& line) {
  while (handover_.Take(AnswerLimit, line)) {
    if (LineMatchesPattern(line.c_str(), pattern)) return true;
  }
  return false;
}

LinkResult<> CReceiverLink::SendAndAwaitOk(const char* command) {
  if (auto awaited = SendAndAwait(command, command::Status); !awaited) return awaited;
  if (!answer_.starts_with(command::Done)) {
    const std::string name = command::Name(command);
    // A stray NUL in the line ends the text shown to users.
    const std::string answered = command::Name(answer_.substr(0, answer_.find('\0')));
    return Fail(LinkFailureKind::WrongAnswer, name + " answered " + answered, name);
  }
  return {};
}

LinkResult<> CReceiverLink::SendAndAwait(const char* command, const char* pattern) {
  if (auto sent = Send(command); !sent) return sent;
  std::string line;
  if (!AwaitLine(pattern, line)) {
    const std::string name = command::Name(command);
    return Fail(LinkFailureKind::NoAnswer, "no answer to " + name, name);
  }
  answer_ = line;
  return {};
}

bool CReceiverLink::LineMatches(const char* pattern) const { return LineMatchesPattern(LastLine().c_str(), pattern); }

std::string CReceiverLink::LastLine() const { return handover_.LastLine(); }

void CReceiverLink::ReaderThread() {
  RaiseCallingThreadPriority();
  handover_.Signal();
  LineAssembler assembler;
  std::uint8_t byte = 0;
  // Ends when ClosePort wakes it, or when the device fails or hangs up: a
  // dead line then looks like a silent receiver to the waits above.
  SerialPort::ReadResult read = SerialPort::ReadResult::Byte;
  while ((read = port_.ReadByte(byte)) == SerialPort::ReadResult::Byte) {
    if (!assembler.Feed(byte)) continue;
    if (trace_) trace_->LineReceived(LineTrace::Clock::now(), assembler.Text());
    handover_.Deliver(assembler.Line());
  }
  if (trace_ && read == SerialPort::ReadResult::LineDown) trace_->LineDown(LineTrace::Clock::now());
}

}  // namespace qlr
