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
// understand it. A pty gives no notice of a speed change, and a client
// switches its speed right after sending "G105" or "H100", usually before
// the emulator gets to look; so those two are accepted at either the old or
// the new mode's speed (the record shows the speed seen). A pty also forces
// 8 data bits and no parity whatever the client asks for, so only the stop
// bits and raw mode can be checked.
//
// With pacing, an answer starts once the command would have crossed a real
// wire (11 bits a character at the client's speed, counted from its first
// byte, and not before the previous command had crossed) and goes out one
// character at a time, each when its stop bit would have gone.
//
// All public members are thread-safe; the object owns its thread and both
// descriptors and releases them in its destructor.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
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
// Each rule counts the commands it matches on its own; when several rules
// act on one command, the one added first is applied. Garbled commands and
// commands in silent mode never reach the rules.
// A rule changes only what is sent back: the command still takes effect
// ("G105"/"H100" change the mode, a write stores its value, or
// `storeInstead`), even when the answer is replaced, silenced or hung up on.
// Order of events: `delay`, then either the hang-up or the `before` lines
// followed by the answer. Every member has a default, so designated
// initializers may name only what they set.
struct FaultRule {
  std::string commandPrefix{};
  int skip = 0;
  int times = -1;
  // Lines sent instead of the normal answer (each gets CR LF appended); an
  // empty vector means silence. Unset: the normal answer.
  std::optional<std::vector<std::string>> answer{};
  // Lines sent before the (normal or replaced) answer, e.g. garbage.
  std::vector<std::string> before{};
  // Waited before answering, on top of any pacing.
  std::chrono::milliseconds delay{0};
  // Close the master (the device hangs up) instead of answering; nothing of
  // `before` or `answer` is sent.
  bool hangUp = false;
  // For EEPROM writes ("LD0aavv"): store this value instead of vv.
  std::optional<std::uint8_t> storeInstead{};
};

struct EmulatorOptions {
  Eeprom eeprom = DefaultEeprom();
  int region = 2;       // answered to "GE?" as two hex digits; 0..255
  bool pace = false;    // move bytes at the wire rate (11 bits per character)
  bool silent = false;  // answer nothing at all (a port without a receiver)

  // A recognisable, non-trivial content: byte i = (i * 37 + 11) & 0xFF.
  static Eeprom DefaultEeprom();
};

class ReceiverEmulator {
 public:
  // Opens the pty and starts answering. Throws std::system_error if no pty
  // can be had, std::invalid_argument for a region outside 0..255.
  explicit ReceiverEmulator(EmulatorOptions options = {});
  ~ReceiverEmulator();
  ReceiverEmulator(const ReceiverEmulator&) = delete;
  ReceiverEmulator& operator=(const ReceiverEmulator&) = delete;

  // The slave device path, e.g. "/dev/pts/7".
  const std::string& DevicePath() const;

  Eeprom Memory() const;
  void SetMemory(const Eeprom& eeprom);
  void SetRegion(int region);  // throws std::invalid_argument if not 0..255
  void SetPacing(bool pace);
  void SetSilent(bool silent);
  void AddFault(FaultRule rule);
  void ClearFaults();

  // The recorded commands, oldest first. Only the latest 65536 are kept.
  std::vector<RecordedCommand> Commands() const;
  void ClearCommands();
  // Called on the emulator's thread for every command as it is recorded,
  // before it is answered (for a log): keep it short, the answer waits for
  // it. An empty function removes the observer.
  void SetObserver(std::function<void(const RecordedCommand&)> observer);
  // Waits until at least `count` commands were recorded or `limit` passed;
  // returns the number recorded.
  std::size_t WaitForCommands(std::size_t count, std::chrono::milliseconds limit) const;

  // True while the receiver is in service mode (after "G105", until "H100").
  bool InServiceMode() const;
  // What switching a real receiver off and on does: back to normal
  // operation, the EEPROM as it is; the port free again for a program of
  // another user after one that held it died.
  void SwitchOffAndOn();
  // True once a fault rule has hung the line up.
  bool HungUp() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qlr::emu
