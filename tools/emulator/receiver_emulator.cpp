#include "emulator/receiver_emulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
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

namespace qlr::emu {
namespace {

constexpr unsigned kNormalBaud = 9600;
constexpr unsigned kServiceBaud = 38400;
constexpr long long kBitsPerChar = 11;  // start, 8 data, 2 stop
// Longer lines are garbage; a prefix is enough to record them.
constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kMaxRecorded = 65536;
// A client that reads nothing for this long loses the rest of an answer
// rather than stalling the emulator forever.
constexpr int kWriteStallMs = 2000;
// Longest busy wait, once per paced answer.
constexpr std::chrono::microseconds kFinalSpin{100};

[[noreturn]] void ThrowErrno(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

class Fd {
 public:
  Fd() = default;
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

unsigned BaudOf(speed_t speed) {
  static constexpr std::pair<speed_t, unsigned> kRates[] = {
      {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
      {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
      {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
      {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
      {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
      {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
      {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
      {B3500000, 3500000}, {B4000000, 4000000},
  };
  for (const auto& [code, rate] : kRates) {
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
  termios t{};
  if (::tcgetattr(master, &t) != 0) return {};
  LineSettings s;
  s.baud = BaudOf(::cfgetospeed(&t));
  s.framingOk = (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & CSTOPB) != 0 &&
                (t.c_cflag & (PARENB | CRTSCTS)) == 0 && (t.c_lflag & (ICANON | ECHO)) == 0 &&
                (t.c_oflag & OPOST) == 0 && (t.c_iflag & (IXON | IXOFF)) == 0;
  return s;
}

Clock::duration WireTime(std::size_t chars, unsigned baud) {
  if (baud == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(
      static_cast<long long>(chars) * kBitsPerChar * 1'000'000'000LL / baud));
}

enum class Kind {
  kUnknown,
  kPresence,      // H101
  kRegion,        // GE?
  kPrepare,       // G300
  kEnterService,  // G105
  kServiceAck,    // GC01, GCF0
  kRead,          // LD0aa?
  kWrite,         // LD0aavv
  kLeaveService,  // H100
};

struct Parsed {
  Kind kind = Kind::kUnknown;
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
  const int hi = HexDigit(two[0]);
  const int lo = HexDigit(two[1]);
  if (hi < 0 || lo < 0) return std::nullopt;
  return static_cast<std::uint8_t>(hi * 16 + lo);
}

Parsed Parse(std::string_view t) {
  if (t == "H101") return {Kind::kPresence};
  if (t == "GE?") return {Kind::kRegion};
  if (t == "G300") return {Kind::kPrepare};
  if (t == "G105") return {Kind::kEnterService};
  if (t == "H100") return {Kind::kLeaveService};
  if (t.size() == 4 && t.substr(0, 2) == "GC") {
    const auto v = HexByte(t.substr(2));
    if (v && (*v == 0x01 || *v == 0xF0)) return {Kind::kServiceAck};
    return {};
  }
  if ((t.size() == 6 || t.size() == 7) && t.substr(0, 3) == "LD0") {
    const auto address = HexByte(t.substr(3, 2));
    if (!address || *address > 0x7F) return {};
    if (t.size() == 6) {
      if (t[5] == '?') return {Kind::kRead, *address};
      return {};
    }
    if (const auto value = HexByte(t.substr(5, 2))) return {Kind::kWrite, *address, *value};
  }
  return {};
}

bool ServiceOnly(Kind k) { return k == Kind::kServiceAck || k == Kind::kRead || k == Kind::kWrite; }

std::string Hex2(unsigned v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
  return buf;
}

void CheckRegion(int region) {
  if (region < 0 || region > 0xFF) throw std::invalid_argument("region must be 0..255");
}

}  // namespace

Eeprom EmulatorOptions::DefaultEeprom() {
  Eeprom e{};
  for (unsigned i = 0; i < e.size(); ++i) e[i] = static_cast<std::uint8_t>((i * 37 + 11) & 0xFF);
  return e;
}

struct ReceiverEmulator::State {
  struct Fault {
    FaultRule rule;
    int seen = 0;
    int acted = 0;
  };

  // Guarded by mu.
  mutable std::mutex mu;
  mutable std::condition_variable recorded;
  std::condition_variable stopCv;
  EmulatorOptions options;
  std::vector<Fault> faults;
  std::deque<RecordedCommand> commands;
  std::function<void(const RecordedCommand&)> observer;
  bool service = false;
  bool hungUp = false;

  std::atomic<bool> stopping{false};
  Fd master;
  Fd slave;
  Fd wake;
  std::string path;
  std::thread worker;

  // Worker only.
  std::string line;
  std::size_t lineBytes = 0;
  Clock::time_point lineStart;
  Clock::time_point inputFreeAt;  // when the incoming wire is idle again (pacing)
  bool masterUsable = true;

  void Run();
  void OnBytes(const char* data, std::size_t n, Clock::time_point now, const LineSettings& ls);
  void OnLine(const std::string& text, std::size_t wireBytes, Clock::time_point at,
              const LineSettings& ls);
  bool WaitUntil(Clock::time_point deadline);
  void WriteAll(const char* data, std::size_t n);
};

void ReceiverEmulator::State::Run() {
  // The default 50 us timer slack would show in the pacing; ask for exact wake-ups.
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  char buf[512];
  while (!stopping.load()) {
    pollfd fds[2] = {{wake.get(), POLLIN, 0}, {master.get(), POLLIN, 0}};
    const nfds_t count = (master.get() >= 0 && masterUsable) ? 2 : 1;
    if (::poll(fds, count, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (count < 2 || fds[1].revents == 0) continue;
    const ssize_t got = ::read(master.get(), buf, sizeof buf);
    if (got > 0) {
      const auto now = Clock::now();
      // Looked at after the read, so every byte read was sent under these
      // settings or older ones.
      const LineSettings ls = Observe(master.get());
      OnBytes(buf, static_cast<std::size_t>(got), now, ls);
    } else {
      const bool retry =
          got < 0 && (errno == EINTR || (errno == EAGAIN && fds[1].revents == POLLIN));
      // A dead master cannot happen while our slave descriptor is open; stop
      // watching it rather than spin if it does.
      if (!retry) masterUsable = false;
    }
  }
}

void ReceiverEmulator::State::OnBytes(const char* data, std::size_t n, Clock::time_point now,
                                      const LineSettings& ls) {
  for (std::size_t i = 0; i < n && master.get() >= 0; ++i) {
    const char c = data[i];
    if (lineBytes++ == 0) lineStart = std::max(now, inputFreeAt);
    if (c != '\n') {
      if (line.size() < kMaxLine) line.push_back(c);
      continue;
    }
    std::string text = std::move(line);
    line.clear();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const std::size_t bytes = std::exchange(lineBytes, 0);
    if (text.empty()) {
      inputFreeAt = lineStart + WireTime(bytes, ls.baud);
    } else {
      OnLine(text, bytes, now, ls);
    }
  }
}

void ReceiverEmulator::State::OnLine(const std::string& text, std::size_t wireBytes,
                                     Clock::time_point at, const LineSettings& ls) {
  RecordedCommand rec{text, ls.baud, ls.framingOk, false, at};
  std::function<void(const RecordedCommand&)> notify;
  std::optional<FaultRule> fault;
  std::vector<std::string> lines;
  bool pace = false;
  bool answerIt = false;
  {
    std::lock_guard lock(mu);
    Parsed cmd = Parse(text);
    const unsigned expected = service ? kServiceBaud : kNormalBaud;
    // The client switches right after sending these; by now it may have.
    const bool switching =
        (cmd.kind == Kind::kEnterService && !service && ls.baud == kServiceBaud) ||
        (cmd.kind == Kind::kLeaveService && service && ls.baud == kNormalBaud);
    rec.garbled = !ls.framingOk || (ls.baud != expected && !switching);
    // When the line has fully arrived over a real wire; it went at the old speed.
    inputFreeAt = lineStart + WireTime(wireBytes, switching ? expected : ls.baud);
    commands.push_back(rec);
    if (commands.size() > kMaxRecorded) commands.pop_front();
    notify = observer;
    answerIt = !rec.garbled && !options.silent;
    if (answerIt) {
      for (auto& f : faults) {
        if (text.compare(0, f.rule.commandPrefix.size(), f.rule.commandPrefix) != 0) continue;
        if (++f.seen <= f.rule.skip) continue;
        if (f.rule.times >= 0 && f.acted >= f.rule.times) continue;
        ++f.acted;
        if (!fault) fault = f.rule;
      }
      if (!service && ServiceOnly(cmd.kind)) cmd.kind = Kind::kUnknown;
      std::optional<std::string> normal;
      switch (cmd.kind) {
        case Kind::kPresence:
        case Kind::kPrepare:
          normal = "G000";
          break;
        case Kind::kRegion:
          normal = "GE" + Hex2(static_cast<unsigned>(options.region));
          break;
        case Kind::kEnterService:
          service = true;
          break;
        case Kind::kLeaveService:
          service = false;
          break;
        case Kind::kServiceAck:
          normal = "G001";
          break;
        case Kind::kRead:
          normal = "LD0" + Hex2(cmd.address) + Hex2(options.eeprom[cmd.address]);
          break;
        case Kind::kWrite:
          options.eeprom[cmd.address] =
              fault && fault->storeInstead ? *fault->storeInstead : cmd.value;
          normal = "G000";
          break;
        case Kind::kUnknown:
          break;
      }
      if (fault) lines = fault->before;
      if (fault && fault->answer) {
        lines.insert(lines.end(), fault->answer->begin(), fault->answer->end());
      } else if (normal) {
        lines.push_back(*normal);
      }
      pace = options.pace;
    }
  }
  recorded.notify_all();
  if (notify) {
    try {
      notify(rec);
    } catch (...) {
      // A failing log must not take the receiver down.
    }
  }
  if (!answerIt) return;

  // The receiver answers only once the whole line has crossed the wire.
  auto t0 = pace ? inputFreeAt : Clock::now();
  if (fault && fault->delay.count() > 0) {
    t0 = std::max(t0, Clock::now()) + fault->delay;
    if (!WaitUntil(t0)) return;
  }
  if (fault && fault->hangUp) {
    // At once: whatever the client has not read yet is lost, as on a real hang-up.
    {
      std::lock_guard lock(mu);
      hungUp = true;
    }
    master.Reset();
    return;
  }
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  if (out.empty()) return;
  if (!pace) {
    WriteAll(out.data(), out.size());
    return;
  }
  // Interruptible: at a very low speed a long line takes seconds.
  if (!WaitUntil(t0)) return;
  // Absolute deadlines: a late wake-up delays one character, not all after it.
  // A character is delivered when its stop bit has gone.
  for (std::size_t k = 0; k < out.size() && !stopping.load(); ++k) {
    const auto due = t0 + WireTime(k + 1, ls.baud);
    if (k + 1 < out.size()) {
      std::this_thread::sleep_until(due);
    } else {
      // The last character decides when the client has its answer, and timer
      // wake-ups come tens of microseconds late (more in a VM): sleep to just
      // short of it and stay awake for the rest.
      std::this_thread::sleep_until(due - kFinalSpin);
      while (Clock::now() < due) {
      }
    }
    WriteAll(&out[k], 1);
  }
}

bool ReceiverEmulator::State::WaitUntil(Clock::time_point deadline) {
  std::unique_lock lock(mu);
  return !stopCv.wait_until(lock, deadline, [this] { return stopping.load(); });
}

void ReceiverEmulator::State::WriteAll(const char* data, std::size_t n) {
  while (n > 0 && master.get() >= 0) {
    const ssize_t put = ::write(master.get(), data, n);
    if (put > 0) {
      data += put;
      n -= static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) return;
    // The client is not reading: wait for room, a bounded time.
    pollfd fds[2] = {{wake.get(), POLLIN, 0}, {master.get(), POLLOUT, 0}};
    if (::poll(fds, 2, kWriteStallMs) <= 0 || fds[0].revents != 0) return;
  }
}

ReceiverEmulator::ReceiverEmulator(EmulatorOptions options) : state_(std::make_unique<State>()) {
  CheckRegion(options.region);
  State& s = *state_;
  s.options = options;

  s.master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (s.master.get() < 0) ThrowErrno(errno, "posix_openpt");
  if (::grantpt(s.master.get()) != 0) ThrowErrno(errno, "grantpt");
  if (::unlockpt(s.master.get()) != 0) ThrowErrno(errno, "unlockpt");
  char name[128];
  if (const int err = ::ptsname_r(s.master.get(), name, sizeof name); err != 0) {
    ThrowErrno(err, "ptsname_r");
  }
  s.path = name;
  // Held for our whole life: the device then outlives the client's close, and
  // the master does not hang up when the client goes.
  s.slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (s.slave.get() < 0) ThrowErrno(errno, "open pty slave");
  const int flags = ::fcntl(s.master.get(), F_GETFL);
  if (flags < 0 || ::fcntl(s.master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    ThrowErrno(errno, "fcntl");
  }
  s.wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (s.wake.get() < 0) ThrowErrno(errno, "eventfd");
  s.worker = std::thread([&s] { s.Run(); });
}

ReceiverEmulator::~ReceiverEmulator() {
  State& s = *state_;
  {
    std::lock_guard lock(s.mu);
    s.stopping = true;
  }
  s.stopCv.notify_all();
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto ignored = ::write(s.wake.get(), &one, sizeof one);
  if (s.worker.joinable()) s.worker.join();
}

const std::string& ReceiverEmulator::DevicePath() const { return state_->path; }

Eeprom ReceiverEmulator::Memory() const {
  std::lock_guard lock(state_->mu);
  return state_->options.eeprom;
}

void ReceiverEmulator::SetMemory(const Eeprom& eeprom) {
  std::lock_guard lock(state_->mu);
  state_->options.eeprom = eeprom;
}

void ReceiverEmulator::SetRegion(int region) {
  CheckRegion(region);
  std::lock_guard lock(state_->mu);
  state_->options.region = region;
}

void ReceiverEmulator::SetPacing(bool pace) {
  std::lock_guard lock(state_->mu);
  state_->options.pace = pace;
}

void ReceiverEmulator::SetSilent(bool silent) {
  std::lock_guard lock(state_->mu);
  state_->options.silent = silent;
}

void ReceiverEmulator::AddFault(FaultRule rule) {
  std::lock_guard lock(state_->mu);
  state_->faults.push_back({std::move(rule)});
}

void ReceiverEmulator::ClearFaults() {
  std::lock_guard lock(state_->mu);
  state_->faults.clear();
}

std::vector<RecordedCommand> ReceiverEmulator::Commands() const {
  std::lock_guard lock(state_->mu);
  return {state_->commands.begin(), state_->commands.end()};
}

void ReceiverEmulator::ClearCommands() {
  std::lock_guard lock(state_->mu);
  state_->commands.clear();
}

void ReceiverEmulator::SetObserver(std::function<void(const RecordedCommand&)> observer) {
  std::lock_guard lock(state_->mu);
  state_->observer = std::move(observer);
}

std::size_t ReceiverEmulator::WaitForCommands(std::size_t count,
                                              std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mu);
  state_->recorded.wait_for(lock, limit, [&] { return state_->commands.size() >= count; });
  return state_->commands.size();
}

bool ReceiverEmulator::InServiceMode() const {
  std::lock_guard lock(state_->mu);
  return state_->service;
}

bool ReceiverEmulator::HungUp() const {
  std::lock_guard lock(state_->mu);
  return state_->hungUp;
}

}  // namespace qlr::emu
