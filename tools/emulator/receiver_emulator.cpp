#include "emulator/receiver_emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "os/unique_fd.h"

namespace qlr::emu {
namespace {

constexpr unsigned NormalBaud = 9600;
constexpr unsigned ServiceBaud = 38400;
constexpr long long BitsPerChar = 11;  // start, 8 data, 2 stop
// Longer lines are garbage; a prefix is enough to record them.
constexpr std::size_t MaxLine = 256;
constexpr std::size_t MaxRecorded = 65536;
// A client that reads nothing for this long loses the rest of an answer
// rather than stalling the emulator forever.
constexpr int WriteStallMs = 2000;
// Longest busy wait, once per paced answer.
constexpr std::chrono::microseconds FinalSpin{100};

[[noreturn]] void ThrowErrno(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

unsigned BaudOf(speed_t speed) {
  static constexpr std::pair<speed_t, unsigned> Rates[] = {
      {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},         {B150, 150},
      {B200, 200},         {B300, 300},         {B600, 600},         {B1200, 1200},       {B1800, 1800},
      {B2400, 2400},       {B4800, 4800},       {B9600, 9600},       {B19200, 19200},     {B38400, 38400},
      {B57600, 57600},     {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
      {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000}, {B1500000, 1500000},
      {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000}, {B3500000, 3500000}, {B4000000, 4000000},
  };
  for (const auto& [code, rate] : Rates) {
    if (code == speed) return rate;
  }
  return 0;  // B0 or unknown: nothing can be understood at that speed
}

struct LineSettings {
  unsigned baud = 0;
  bool framingOk = false;
};

// tcgetattr on the master reports the slave's settings, i.e. the client's.
LineSettings Observe(int master) {
  termios attributes{};
  if (::tcgetattr(master, &attributes) != 0) return {};
  LineSettings observed;
  observed.baud = BaudOf(::cfgetospeed(&attributes));
  observed.framingOk = (attributes.c_cflag & CSIZE) == CS8 && (attributes.c_cflag & CSTOPB) != 0 &&
                       (attributes.c_cflag & (PARENB | CRTSCTS)) == 0 && (attributes.c_lflag & (ICANON | ECHO)) == 0 &&
                       (attributes.c_oflag & OPOST) == 0 && (attributes.c_iflag & (IXON | IXOFF)) == 0;
  return observed;
}

Clock::duration WireTime(std::size_t chars, unsigned baud) {
  if (baud == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(static_cast<long long>(chars) * BitsPerChar * 1'000'000'000LL / baud));
}

enum class Kind {
  Unknown,
  Presence,      // H101
  Region,        // GE?
  Prepare,       // G300
  EnterService,  // G105
  ServiceAck,    // GC01, GCF0
  Read,          // LD0aa?
  Write,         // LD0aavv
  LeaveService,  // H100
};

struct Parsed {
  Kind kind = Kind::Unknown;
  std::uint8_t address = 0;
  std::uint8_t value = 0;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::uint8_t> HexByte(std::string_view two) {
  const int high = HexDigit(two[0]);
  const int low = HexDigit(two[1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<std::uint8_t>(high * 16 + low);
}

Parsed Parse(std::string_view text) {
  if (text == "H101") return {Kind::Presence};
  if (text == "GE?") return {Kind::Region};
  if (text == "G300") return {Kind::Prepare};
  if (text == "G105") return {Kind::EnterService};
  if (text == "H100") return {Kind::LeaveService};
  if (text.size() == 4 && text.substr(0, 2) == "GC") {
    const auto v = HexByte(text.substr(2));
    if (v && (*v == 0x01 || *v == 0xF0)) return {Kind::ServiceAck};
    return {};
  }
  if ((text.size() == 6 || text.size() == 7) && text.substr(0, 3) == "LD0") {
    const auto address = HexByte(text.substr(3, 2));
    if (!address || *address > 0x7F) return {};
    if (text.size() == 6) {
      if (text[5] == '?') return {Kind::Read, *address};
      return {};
    }
    if (const auto value = HexByte(text.substr(5, 2))) return {Kind::Write, *address, *value};
  }
  return {};
}

bool ServiceOnly(Kind kind) { return kind == Kind::ServiceAck || kind == Kind::Read || kind == Kind::Write; }

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value & 0xFFu);
  return text;
}

void CheckRegion(int region) {
  if (region < 0 || region > 0xFF) throw std::invalid_argument("region must be 0..255");
}

}  // namespace

Eeprom EmulatorOptions::DefaultEeprom() {
  Eeprom eeprom{};
  for (unsigned i = 0; i < eeprom.size(); ++i) eeprom[i] = static_cast<std::uint8_t>((i * 37 + 11) & 0xFF);
  return eeprom;
}

struct ReceiverEmulator::State {
  struct Fault {
    FaultRule rule;
    int seen = 0;
    int acted = 0;
  };

  // Guarded by mutex.
  mutable std::mutex mutex;
  mutable std::condition_variable recorded;
  std::condition_variable stopChanged;
  EmulatorOptions options;
  std::vector<Fault> faults;
  std::deque<RecordedCommand> commands;
  std::function<void(const RecordedCommand&)> observer;
  bool service = false;
  bool hungUp = false;

  std::atomic<bool> stopping{false};
  UniqueFd master;
  UniqueFd slave;
  UniqueFd wake;
  std::string path;
  std::thread worker;

  // Worker only.
  std::string line;
  std::size_t lineBytes = 0;
  Clock::time_point lineStart;
  Clock::time_point inputFreeAt;  // when the incoming wire is idle again (pacing)
  bool masterUsable = true;

  // What goes back for one command.
  struct Answer {
    std::vector<std::string> lines;  // each without its CR LF
    std::optional<FaultRule> fault;  // the rule that acted on the command
    bool pace = false;
  };

  void Run();
  void OnBytes(const char* data, std::size_t n, Clock::time_point now, const LineSettings& settings);
  // One command line, in steps: recorded and answered under the lock, then
  // observed and delivered outside it.
  void OnLine(const std::string& text, std::size_t wireBytes, Clock::time_point at, const LineSettings& settings);
  // With mutex held: keeps the command, judged against the mode's speed.
  void Record(RecordedCommand& record, const Parsed& parsed, std::size_t wireBytes, const LineSettings& settings);
  // With mutex held: the command's answer, its effects applied.
  Answer Respond(const std::string& text, const Parsed& parsed);
  // With mutex held: the first fault rule that acts on the command.
  std::optional<FaultRule> MatchFault(const std::string& text);
  // With mutex held: the command's effect on the receiver and its normal answer.
  std::optional<std::string> Execute(Parsed parsed, const std::optional<FaultRule>& fault);
  // Paced, delayed, hung up on or written at once, as the answer says.
  void Deliver(const Answer& answer, unsigned baud);
  void WritePaced(const std::string& out, Clock::time_point start, unsigned baud);
  bool WaitUntil(Clock::time_point deadline);
  void WriteAll(const char* data, std::size_t n);
};

void ReceiverEmulator::State::Run() {
  // The default 50 us timer slack would show in the pacing; ask for exact wake-ups.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  char buffer[512];
  while (!stopping.load()) {
    pollfd fds[2] = {{wake.Get(), POLLIN, 0}, {master.Get(), POLLIN, 0}};
    const nfds_t count = (master.Get() >= 0 && masterUsable) ? 2 : 1;
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (count < 2 || fds[1].revents == 0) continue;
    const ssize_t got = ::read(master.Get(), buffer, sizeof buffer);
    if (got > 0) {
      const auto now = Clock::now();
      // Looked at after the read, so every byte read was sent under these
      // settings or older ones.
      const LineSettings settings = Observe(master.Get());
      OnBytes(buffer, static_cast<std::size_t>(got), now, settings);
    } else {
      const bool retry = got < 0 && (errno == EINTR || (errno == EAGAIN && fds[1].revents == POLLIN));
      // A dead master cannot happen while our slave descriptor is open; stop
      // watching it rather than spin if it does.
      if (!retry) masterUsable = false;
    }
  }
}

void ReceiverEmulator::State::OnBytes(const char* data, std::size_t n, Clock::time_point now,
                                      const LineSettings& settings) {
  for (std::size_t i = 0; i < n && master.Get() >= 0; ++i) {
    const char c = data[i];
    if (lineBytes++ == 0) lineStart = std::max(now, inputFreeAt);
    if (c != '\n') {
      if (line.size() < MaxLine) line.push_back(c);
      continue;
    }
    std::string text = std::move(line);
    line.clear();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t bytes = std::exchange(lineBytes, 0);
    if (text.empty()) {
      inputFreeAt = lineStart + WireTime(bytes, settings.baud);
    } else {
      OnLine(text, bytes, now, settings);
    }
  }
}

void ReceiverEmulator::State::OnLine(const std::string& text, std::size_t wireBytes, Clock::time_point at,
                                     const LineSettings& settings) {
  RecordedCommand record{text, settings.baud, settings.framingOk, false, at};
  std::function<void(const RecordedCommand&)> notify;
  std::optional<Answer> answer;
  {
    std::lock_guard lock(mutex);
    const Parsed parsed = Parse(text);
    Record(record, parsed, wireBytes, settings);
    notify = observer;
    if (!record.garbled && !options.silent) answer = Respond(text, parsed);
  }
  recorded.notify_all();
  if (notify) {
    try {
      notify(record);
    } catch (...) {
      // A failing log must not take the receiver down.
    }
  }
  if (answer) Deliver(*answer, settings.baud);
}

void ReceiverEmulator::State::Record(RecordedCommand& record, const Parsed& parsed, std::size_t wireBytes,
                                     const LineSettings& settings) {
  const unsigned expected = service ? ServiceBaud : NormalBaud;
  // The client switches right after sending these; by now it may have.
  const bool switching = (parsed.kind == Kind::EnterService && !service && settings.baud == ServiceBaud) ||
                         (parsed.kind == Kind::LeaveService && service && settings.baud == NormalBaud);
  record.garbled = !settings.framingOk || (settings.baud != expected && !switching);
  // When the line has fully arrived over a real wire; it went at the old speed.
  inputFreeAt = lineStart + WireTime(wireBytes, switching ? expected : settings.baud);
  commands.push_back(record);
  if (commands.size() > MaxRecorded) commands.pop_front();
}

std::optional<FaultRule> ReceiverEmulator::State::MatchFault(const std::string& text) {
  std::optional<FaultRule> fault;
  // Every rule counts the command, even when an earlier one acts on it.
  for (auto& entry : faults) {
    if (text.compare(0, entry.rule.commandPrefix.size(), entry.rule.commandPrefix) != 0) continue;
    if (++entry.seen <= entry.rule.skip) continue;
    if (entry.rule.times >= 0 && entry.acted >= entry.rule.times) continue;
    ++entry.acted;
    if (!fault) fault = entry.rule;
  }
  return fault;
}

std::optional<std::string> ReceiverEmulator::State::Execute(Parsed parsed, const std::optional<FaultRule>& fault) {
  if (!service && ServiceOnly(parsed.kind)) parsed.kind = Kind::Unknown;
  switch (parsed.kind) {
    case Kind::Presence:
    case Kind::Prepare: return "G000";
    case Kind::Region: return "GE" + Hex2(static_cast<unsigned>(options.region));
    case Kind::EnterService: service = true; return std::nullopt;
    case Kind::LeaveService: service = false; return std::nullopt;
    case Kind::ServiceAck: return "G001";
    case Kind::Read: return "LD0" + Hex2(parsed.address) + Hex2(options.eeprom[parsed.address]);
    case Kind::Write:
      options.eeprom[parsed.address] = fault && fault->storeInstead ? *fault->storeInstead : parsed.value;
      return "G000";
    case Kind::Unknown: break;
  }
  return std::nullopt;
}

ReceiverEmulator::State::Answer ReceiverEmulator::State::Respond(const std::string& text, const Parsed& parsed) {
  Answer answer;
  answer.fault = MatchFault(text);
  const std::optional<std::string> normal = Execute(parsed, answer.fault);
  if (answer.fault) answer.lines = answer.fault->before;
  if (answer.fault && answer.fault->answer) {
    answer.lines.insert(answer.lines.end(), answer.fault->answer->begin(), answer.fault->answer->end());
  } else if (normal) {
    answer.lines.push_back(*normal);
  }
  answer.pace = options.pace;
  return answer;
}

void ReceiverEmulator::State::Deliver(const Answer& answer, unsigned baud) {
  const std::optional<FaultRule>& fault = answer.fault;
  // The receiver answers only once the whole line has crossed the wire.
  auto start = answer.pace ? inputFreeAt : Clock::now();
  if (fault && fault->delay.count() > 0) {
    start = std::max(start, Clock::now()) + fault->delay;
    if (!WaitUntil(start)) return;
  }
  if (fault && fault->hangUp) {
    // At once: whatever the client has not read yet is lost, as on a real hang-up.
    {
      std::lock_guard lock(mutex);
      hungUp = true;
    }
    master.Reset();
    return;
  }
  std::string out;
  for (const auto& answerLine : answer.lines) out += answerLine + "\r\n";
  if (out.empty()) return;
  if (!answer.pace) {
    WriteAll(out.data(), out.size());
    return;
  }
  WritePaced(out, start, baud);
}

void ReceiverEmulator::State::WritePaced(const std::string& out, Clock::time_point start, unsigned baud) {
  // Interruptible: at a very low speed a long line takes seconds.
  if (!WaitUntil(start)) return;
  // Absolute deadlines: a late wake-up delays one character, not all after it.
  // A character is delivered when its stop bit has gone.
  for (std::size_t index = 0; index < out.size() && !stopping.load(); ++index) {
    const auto due = start + WireTime(index + 1, baud);
    if (index + 1 < out.size()) {
      std::this_thread::sleep_until(due);
    } else {
      // The last character decides when the client has its answer, and timer
      // wake-ups come tens of microseconds late (more in a VM): sleep to just
      // short of it and stay awake for the rest.
      std::this_thread::sleep_until(due - FinalSpin);
      while (Clock::now() < due) {
      }
    }
    WriteAll(&out[index], 1);
  }
}

bool ReceiverEmulator::State::WaitUntil(Clock::time_point deadline) {
  std::unique_lock lock(mutex);
  return !stopChanged.wait_until(lock, deadline, [this] { return stopping.load(); });
}

void ReceiverEmulator::State::WriteAll(const char* data, std::size_t n) {
  while (n > 0 && master.Get() >= 0) {
    const ssize_t put = ::write(master.Get(), data, n);
    if (put > 0) {
      data += put;
      n -= static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) return;
    // The client is not reading: wait for room, a bounded time.
    pollfd fds[2] = {{wake.Get(), POLLIN, 0}, {master.Get(), POLLOUT, 0}};
    if (::poll(fds, 2, WriteStallMs) <= 0 || fds[0].revents != 0) return;
  }
}

ReceiverEmulator::ReceiverEmulator(EmulatorOptions options) : state_(std::make_unique<State>()) {
  CheckRegion(options.region);
  State& s = *state_;
  s.options = options;

  s.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (s.master.Get() < 0) ThrowErrno(errno, "posix_openpt");
  if (::grantpt(s.master.Get()) != 0) ThrowErrno(errno, "grantpt");
  if (::unlockpt(s.master.Get()) != 0) ThrowErrno(errno, "unlockpt");
  char name[128];
  if (const int err = ::ptsname_r(s.master.Get(), name, sizeof name); err != 0) {
    ThrowErrno(err, "ptsname_r");
  }
  s.path = name;
  // Held for our whole life: the device then outlives the client's close, and
  // the master does not hang up when the client goes.
  s.slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (s.slave.Get() < 0) ThrowErrno(errno, "open pty slave");
  const int flags = ::fcntl(s.master.Get(), F_GETFL);
  if (flags < 0 || ::fcntl(s.master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    ThrowErrno(errno, "fcntl");
  }
  s.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (s.wake.Get() < 0) ThrowErrno(errno, "eventfd");
  s.worker = std::thread([&s] { s.Run(); });
}

ReceiverEmulator::~ReceiverEmulator() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  s.stopChanged.notify_all();
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto ignored = ::write(s.wake.Get(), &one, sizeof one);
  if (s.worker.joinable()) s.worker.join();
}

const std::string& ReceiverEmulator::DevicePath() const { return state_->path; }

Eeprom ReceiverEmulator::Memory() const {
  std::lock_guard lock(state_->mutex);
  return state_->options.eeprom;
}

void ReceiverEmulator::SetMemory(const Eeprom& eeprom) {
  std::lock_guard lock(state_->mutex);
  state_->options.eeprom = eeprom;
}

void ReceiverEmulator::SetRegion(int region) {
  CheckRegion(region);
  std::lock_guard lock(state_->mutex);
  state_->options.region = region;
}

void ReceiverEmulator::SetPacing(bool pace) {
  std::lock_guard lock(state_->mutex);
  state_->options.pace = pace;
}

void ReceiverEmulator::SetSilent(bool silent) {
  std::lock_guard lock(state_->mutex);
  state_->options.silent = silent;
}

void ReceiverEmulator::AddFault(FaultRule rule) {
  std::lock_guard lock(state_->mutex);
  state_->faults.push_back({std::move(rule)});
}

void ReceiverEmulator::ClearFaults() {
  std::lock_guard lock(state_->mutex);
  state_->faults.clear();
}

std::vector<RecordedCommand> ReceiverEmulator::Commands() const {
  std::lock_guard lock(state_->mutex);
  return {state_->commands.begin(), state_->commands.end()};
}

void ReceiverEmulator::ClearCommands() {
  std::lock_guard lock(state_->mutex);
  state_->commands.clear();
}

void ReceiverEmulator::SetObserver(std::function<void(const RecordedCommand&)> observer) {
  std::lock_guard lock(state_->mutex);
  state_->observer = std::move(observer);
}

std::size_t ReceiverEmulator::WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mutex);
  state_->recorded.wait_for(lock, limit, [&] { return state_->commands.size() >= count; });
  return state_->commands.size();
}

bool ReceiverEmulator::InServiceMode() const {
  std::lock_guard lock(state_->mutex);
  return state_->service;
}

void ReceiverEmulator::SwitchOffAndOn() {
  std::lock_guard lock(state_->mutex);
  state_->service = false;
  // A real port drops the exclusive flag of a program that died at its last
  // close; our own end keeps the pty open, so the flag is dropped here.
  static_cast<void>(::ioctl(state_->slave.Get(), TIOCNXCL));
}

bool ReceiverEmulator::HungUp() const {
  std::lock_guard lock(state_->mutex);
  return state_->hungUp;
}

}  // namespace qlr::emu
