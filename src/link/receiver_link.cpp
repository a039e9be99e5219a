// The transport half of CReceiverLink: port, reader thread, command exchange.
#include <cstring>
#include <system_error>

#include "link/line_pattern.h"
#include "link/port_map.h"
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

// "G300\r\n" → "G300", for failure texts.
std::string CommandName(const char* command) {
  std::string name(command);
  while (!name.empty() && (name.back() == '\r' || name.back() == '\n')) name.pop_back();
  return name;
}

}  // namespace

CReceiverLink::CReceiverLink(const SystemCalls* calls) : port_(calls) {}

CReceiverLink::~CReceiverLink() { ClosePort(); }

int CReceiverLink::Fail(std::string step, int sysErrno) {
  failure_ = {std::move(step), sysErrno};
  return 0;
}

int CReceiverLink::OpenPort(int number) {
  std::string device;
  if (number >= FirstPort && number <= LastPort) device = DeviceForPort(number);
  return OpenPort(number, device);
}

int CReceiverLink::OpenPort(int number, const std::string& device) {
  ClosePort();
  failure_ = {};
  const auto failOpen = [this](std::string step, int sysErrno) {
    ClosePort();
    return Fail(std::move(step), sysErrno);
  };
  if (number == 0) return Fail("open: port number 0", EINVAL);
  if (device.empty()) return Fail("open port " + std::to_string(number) + ": no such device", ENODEV);
  if (!port_.Open(device)) return failOpen("open " + device, port_.LastFailure().sysErrno);
  if (!SetLineFormat(NormalBaud, 8, Parity::None, StopBits::Two)) {
    return failOpen("set line format on " + device, port_.LastFailure().sysErrno);
  }
  if (!port_.PurgeInput()) return failOpen("purge input on " + device, port_.LastFailure().sysErrno);
  handover_.Reset();
  try {
    reader_ = std::thread(&CReceiverLink::ReaderThread, this);
  } catch (const std::system_error& error) {
    return failOpen("start reader thread", error.code().value());
  }
  std::string ignored;
  if (!handover_.Take(ReaderStartLimit, ignored)) return failOpen("reader thread did not start", 0);
  handover_.Reset();
  portNumber_ = number;
  return 1;
}

int CReceiverLink::SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits) {
  if (!port_.IsOpen()) return Fail("set line format: port not open");
  // Let what is still on the wire go out (and come in) before the speed changes.
  for (int attempt = 0; attempt < DrainTries; ++attempt) {
    std::size_t input = 0;
    std::size_t output = 0;
    if (port_.QueueCounts(input, output) && input == 0 && output == 0) break;
    std::this_thread::sleep_for(DrainPause);
  }
  std::this_thread::sleep_for(SettlePause);
  port_.PurgeInput();
  if (!port_.SetLineFormat(baud, byteSize, parity, stopBits)) {
    return Fail("set line format to " + std::to_string(baud) + " baud", port_.LastFailure().sysErrno);
  }
  return 1;
}

void CReceiverLink::ClosePort() {
  if (reader_.joinable()) {
    port_.WakeReader();
    reader_.join();
  }
  port_.Close();
  portNumber_ = 0;
  handover_.Clear();
}

int CReceiverLink::WriteRaw(const char* bytes, std::uint32_t length) {
  if (portNumber_ == 0 || !port_.IsOpen()) return Fail("port not open");
  if (!port_.Write(bytes, length, WriteLimit)) {
    const SerialFailure failure = port_.LastFailure();
    const std::string device = port_.Device();
    ClosePort();
    return Fail(failure.sysErrno ? "write to " + device : "write to " + device + " timed out", failure.sysErrno);
  }
  return 1;
}

// Waits for lines until one matches; each line gets a fresh 500 ms.
int CReceiverLink::AwaitLine(const char* pattern, std::string& line) {
  while (handover_.Take(AnswerLimit, line)) {
    if (LineMatchesPattern(line.c_str(), pattern)) return 1;
  }
  return 0;
}

int CReceiverLink::SendAndAwaitOk(const char* command) {
  if (!WriteRaw(command, static_cast<std::uint32_t>(std::strlen(command)))) return 0;
  std::string line;
  if (!AwaitLine("G00x", line)) return Fail("no answer to " + CommandName(command));
  answer_ = line;
  if (line.compare(0, 4, "G000") != 0) {
    return Fail(CommandName(command) + " answered " + CommandName(line.c_str()));
  }
  return 1;
}

int CReceiverLink::SendAndAwait(const char* command, const char* pattern) {
  if (!WriteRaw(command, static_cast<std::uint32_t>(std::strlen(command)))) return 0;
  std::string line;
  if (!AwaitLine(pattern, line)) return Fail("no answer to " + CommandName(command));
  answer_ = line;
  return 1;
}

int CReceiverLink::LineMatches(const char* pattern) const {
  return LineMatchesPattern(LastLine().c_str(), pattern) ? 1 : 0;
}

std::string CReceiverLink::LastLine() const { return handover_.LastLine(); }

void CReceiverLink::ReaderThread() {
  RaiseCallingThreadPriority();
  handover_.Signal();
  LineAssembler assembler;
  std::uint8_t byte = 0;
  // Ends when ClosePort wakes it, or when the device fails or hangs up: a
  // dead line then looks like a silent receiver to the waits above.
  while (port_.ReadByte(byte) == SerialPort::ReadResult::Byte) {
    if (assembler.Feed(byte)) handover_.Deliver(assembler.Line());
  }
}

}  // namespace qlr
