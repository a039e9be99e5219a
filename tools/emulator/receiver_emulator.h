// A QLR5500 receiver played on a pseudo-terminal, for tests, benchmarks and
// for people who want to try the programs without a receiver.
//
// The emulator opens a pty master, keeps its own slave descriptor open (so the
// device survives the client's close and reopen), and answers the receiver's
// command lines from a thread of its own. At every command it reads the
// client's line settings with tcgetattr and records them; a command that
// arrives at a speed other than the one the receiver's mode expects (9600
// baud normally, 38400 in service mode), or not in 8N2 raw framing, is
// recorded as garbled and not answered, as a real receiver would not
// understand it.
//
// All public members are thread-safe; the object owns its thread and both
// descriptors and releases them in its destructor.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qlr::emu {

using Clock = std::chrono::steady_clock;
using Eeprom = std::array<std::uint8_t, 128>;

// A command as the emulator received it.
struct RecordedCommand {
  std::string text;        // without its line end, e.g. "LD005?"
  unsigned baud = 0;       // the client's speed when the command arrived
  bool framingOk = false;  // 8 data bits, no parity, two stop bits, raw
  bool garbled = false;    // speed or framing did not fit the receiver's mode
  Clock::time_point at;    // when its line end arrived
};

// One injected fault. A rule applies to commands whose text starts with
// `commandPrefix` (empty: every command). The first `skip` matching commands
// pass untouched, then the rule acts on up to `times` commands (-1: all).
struct FaultRule {
  std::string commandPrefix;
  int skip = 0;
  int times = -1;
  // Lines sent instead of the normal answer (each gets CR LF appended); an
  // empty vector means silence. Unset: the normal answer.
  std::optional<std::vector<std::string>> answer;
  // Lines sent before the (normal or replaced) answer, e.g. garbage.
  std::vector<std::string> before;
  // Waited before answering, on top of any pacing.
  std::chrono::milliseconds delay{0};
  // Close the master (the device hangs up) instead of answering.
  bool hangUp = false;
  // For EEPROM writes ("LD0aavv"): store this value instead of vv.
  std::optional<std::uint8_t> storeInstead;
};

struct EmulatorOptions {
  Eeprom eeprom = DefaultEeprom();
  int region = 2;      // answered to "GE?" as two hex digits
  bool pace = false;   // move bytes at the wire rate (11 bits per character)
  bool silent = false; // answer nothing at all (a port without a receiver)

  // A recognisable, non-trivial content: byte i = (i * 37 + 11) & 0xFF.
  static Eeprom DefaultEeprom();
};

class ReceiverEmulator {
 public:
  // Opens the pty and starts answering. Throws std::system_error if no pty
  // can be had.
  explicit ReceiverEmulator(EmulatorOptions options = {});
  ~ReceiverEmulator();
  ReceiverEmulator(const ReceiverEmulator&) = delete;
  ReceiverEmulator& operator=(const ReceiverEmulator&) = delete;

  // The slave device path, e.g. "/dev/pts/7".
  const std::string& DevicePath() const;

  Eeprom Memory() const;
  void SetMemory(const Eeprom& eeprom);
  void SetRegion(int region);
  void SetPacing(bool pace);
  void SetSilent(bool silent);
  void AddFault(FaultRule rule);
  void ClearFaults();

  std::vector<RecordedCommand> Commands() const;
  void ClearCommands();
  // Waits until at least `count` commands were recorded or `limit` passed;
  // returns the number recorded.
  std::size_t WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const;

  // True while the receiver is in service mode (after "G105", until "H100").
  bool InServiceMode() const;
  // True once a fault rule has hung the line up.
  bool HungUp() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qlr::emu
