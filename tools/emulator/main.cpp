// qlr5500-emulator: a QLR5500 receiver on a pseudo-terminal, for trying the
// programs without a receiver.
#include <signal.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "emulator/receiver_emulator.h"

namespace {

constexpr int ExitRuntimeError = 1;
constexpr int ExitUsageError = 2;

constexpr char UsageText[] =
    "usage: qlr5500-emulator [options]\n"
    "Plays a QLR5500 receiver on a pseudo-terminal until interrupted. Prints the\n"
    "device path, then a line setting QLR5500_PORTS for the other programs.\n"
    "\n"
    "  --image FILE         initial memory: the first 128 bytes of FILE\n"
    "  --region N           region reported by the receiver, 0..255 (default 2)\n"
    "  --pace               move bytes at the speed of a real serial line\n"
    "  --answer-delay MS    wait MS milliseconds (0..10000) before each answer, as a\n"
    "                       slow adapter would\n"
    "  --save-on-exit FILE  write the memory (128 bytes) to FILE when stopping\n"
    "  --verbose            log each command received to stderr\n"
    "  --help               show this help\n"
    "  --version            show the version\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Args {
  std::optional<std::string> image;
  std::optional<std::string> saveTo;
  int region = 2;
  std::chrono::milliseconds answerDelay{0};
  bool pace = false;
  bool verbose = false;
  bool help = false;
  bool version = false;
};

// The whole of `text` as a number min..max; `what` says what was wanted.
int ParseNumber(const std::string& text, int min, int max, const std::string& what) {
  int number = -1;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size() || number < min || number > max) {
    throw UsageError(what + " wants a number " + std::to_string(min) + ".." + std::to_string(max) + ", not '" + text +
                     "'");
  }
  return number;
}

Args ParseArgs(int argc, char** argv) {
  Args args;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      inlineValue = std::string(arg.substr(eq + 1));
      arg = arg.substr(0, eq);
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
      return argv[++i];
    };
    auto noValue = [&] {
      if (inlineValue) throw UsageError(std::string(arg) + " takes no value");
    };
    if (arg == "--image") {
      args.image = value();
    } else if (arg == "--save-on-exit") {
      args.saveTo = value();
    } else if (arg == "--region") {
      args.region = ParseNumber(value(), 0, 255, "--region");
    } else if (arg == "--answer-delay") {
      args.answerDelay = std::chrono::milliseconds(ParseNumber(value(), 0, 10000, "--answer-delay"));
    } else if (arg == "--pace") {
      noValue();
      args.pace = true;
    } else if (arg == "--verbose") {
      noValue();
      args.verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "--version") {
      args.version = true;
    } else {
      throw UsageError("unknown argument '" + std::string(argv[i]) + "'");
    }
  }
  return args;
}

qlr::emu::Eeprom ReadImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  qlr::emu::Eeprom image{};
  in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (in.gcount() != static_cast<std::streamsize>(image.size())) {
    throw std::runtime_error(path + ": " + std::to_string(in.gcount()) + " bytes, an image needs 128");
  }
  return image;
}

void WriteImage(const std::string& path, const qlr::emu::Eeprom& image) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

// Commands may hold any bytes; keep the log readable on a terminal.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += c;
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
      out += buf;
    }
  }
  return out;
}

void LogCommand(const qlr::emu::RecordedCommand& c) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t secs = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&secs, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
  std::fprintf(stderr, "%s.%03d %6u %s%s\n", stamp, static_cast<int>(ms), c.baud, Printable(c.text).c_str(),
               c.garbled ? "  (garbled)" : "");
}

int Run(const Args& args) {
  // Blocked before the emulator's thread starts so that it inherits the mask
  // and only sigwait below sees them; early, so a quick stop is not fatal.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  if (pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
    throw std::runtime_error("cannot block signals");
  }
  // A script that read the device path and closed our stdout must not kill us.
  signal(SIGPIPE, SIG_IGN);

  qlr::emu::EmulatorOptions options;
  if (args.image) options.eeprom = ReadImage(*args.image);
  options.region = args.region;
  options.pace = args.pace;

  auto emulator = std::make_unique<qlr::emu::ReceiverEmulator>(options);
  if (args.verbose) emulator->SetObserver(LogCommand);
  if (args.answerDelay.count() > 0) emulator->AddFault({.delay = args.answerDelay});

  const std::string& path = emulator->DevicePath();
  std::printf("%s\nexport QLR5500_PORTS=%s\n", path.c_str(), path.c_str());
  if (std::fflush(stdout) != 0) throw std::runtime_error("cannot write to stdout");

  int sig = 0;
  if (sigwait(&stopSignals, &sig) != 0) throw std::runtime_error("sigwait failed");

  // Silent: later commands no longer change the memory we are about to save.
  emulator->SetSilent(true);
  const qlr::emu::Eeprom memory = emulator->Memory();
  emulator.reset();
  if (args.saveTo) WriteImage(*args.saveTo, memory);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Args args;
  try {
    args = ParseArgs(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "qlr5500-emulator: %s\n%s", e.what(), UsageText);
    return ExitUsageError;
  }
  if (args.help) {
    std::fputs(UsageText, stdout);
    return 0;
  }
  if (args.version) {
    std::puts("qlr5500-emulator " QLR_VERSION);
    return 0;
  }
  try {
    return Run(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qlr5500-emulator: %s\n", e.what());
    return ExitRuntimeError;
  }
}
