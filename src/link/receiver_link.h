// CReceiverLink: the program's one connection to the receiver.
//
// Transport: a serial port, a reader thread that turns the received bytes
// into lines, and the exchange of a command for an answer line. Protocol: the
// receiver's commands built on that exchange (finding the receiver, its
// region, reading and writing its EEPROM through service mode).
//
// Every operation returns a LinkResult (link_failure.h, os/result.h): true
// for success, or false with the LinkFailure that tells why; QueryRegion's
// holds the region code. No exception leaves the link. Every operation runs on the caller's thread and
// blocks it; every wait is bounded: 3000 ms for the reader's start, 500 ms
// per write, 500 ms per answer line, at most 1020 ms of draining before a
// change of line format.
//
// Threads: one caller thread uses the link; the reader thread it starts for
// each opened port is the only other thread, and it never touches anything
// but the port, LastLine and LineReady, and the trace. ClosePort wakes and
// joins it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "link/line_assembler.h"
#include "link/line_handover.h"
#include "link/line_trace.h"
#include "link/link_failure.h"
#include "link/port_map.h"
#include "link/progress_sink.h"
#include "link/serial_port.h"

namespace qlr {

class CReceiverLink {
 public:
  static constexpr int FirstPort = 1;
  static constexpr int LastPort = 16;
  static constexpr std::uint32_t NormalBaud = 9600;
  static constexpr std::uint32_t ServiceBaud = 38400;

  // `calls`: the serial layer's system calls (null: the real ones). `ports`:
  // the map port numbers are taken from, which must outlive the link; null
  // reads the machine's map at each open, as a window that stays open for
  // hours must, since adapters come and go. `trace`: told of everything
  // that crosses the line (line_trace.h), from both threads; it must outlive
  // the link. Null: nothing is traced.
  explicit CReceiverLink(const SystemCalls* calls = nullptr, const PortMap* ports = nullptr,
                         LineTrace* trace = nullptr);
  virtual ~CReceiverLink();
  CReceiverLink(const CReceiverLink&) = delete;
  CReceiverLink& operator=(const CReceiverLink&) = delete;

  // --- transport ---

  // Opens port n (1..16, through the port map) at 9600 baud 8N2 and starts
  // its reader. Closes whatever was open first, also when it fails.
  LinkResult<> OpenPort(int number);
  // Whether port n of the map is the kernel's console, which scans pass by.
  bool IsConsolePort(int number) const;
  // The same on a device given by path; `number` becomes PortNumber (not 0).
  LinkResult<> OpenPort(int number, const std::string& device);
  // Waits for the queues to drain, purges the input and sets the format.
  LinkResult<> SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits);
  // Stops the reader and releases the port; harmless when closed.
  void ClosePort();
  // Sends bytes; a refused write or one not done within 500 ms closes the link.
  LinkResult<> WriteRaw(const char* bytes, std::uint32_t length);
  // Sends a command (receiver_commands.h, with its CR LF) and waits for no answer.
  LinkResult<> Send(const char* command);
  // Sends a command (with its CR LF) and waits for the first status line
  // ("G00x"): success if it is "G000".
  LinkResult<> SendAndAwaitOk(const char* command);
  // Sends a command and waits for a line matching `pattern`; the line is
  // then AnswerLine().
  LinkResult<> SendAndAwait(const char* command, const char* pattern);
  // Whether the latest delivered line matches the pattern: a question, not
  // an operation that could fail.
  bool LineMatches(const char* pattern) const;

  // --- protocol ---

  // The presence check: "H101" up to three times until one is answered
  // "G000", with `pause` before each retry. Success if a receiver answered;
  // otherwise the last try's failure.
  LinkResult<> CheckPresence(std::chrono::milliseconds pause = {});
  // One presence round trip, timed: "H101" sent once, without the check's
  // retries. The time from sending it to its "G000" answer, or the failure.
  LinkResult<std::chrono::steady_clock::duration> TimePresence();
  // Scans ports 1..16 for a receiver that passes the presence check (back
  // to back); leaves its port open.
  LinkResult<> FindReceiver();
  // The receiver's region code 0..255; a failure without an answer, or with
  // one that holds no number.
  LinkResult<int> QueryRegion();
  // Reads `count` addresses from `start` into `destination`.
  LinkResult<> ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink);
  // Writes `count` addresses from `start`, verifying each by reading it back.
  // Both transfers record in a failure whether service mode was entered and
  // how many addresses were done.
  LinkResult<> WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink);
  // Writes image[a] into each address a of `addresses` (0..127, in the order
  // given) in one service-mode session, each verified as WriteEeprom does,
  // with the same failure record: addressesDone counts the addresses of the
  // list written and verified. The progress counts them too: SetRange(0, n-1),
  // then SetPosition(i) after the i-th. An empty list sends nothing.
  //
  // With `before` (the values the caller read for them, e.g. its backup),
  // every address of the list is first read again in the same session, and
  // once more where it differs: when an address does not hold before[a]
  // then, nothing at all is written and the failure is ValueChanged (the
  // line garbled a read, or the receiver changed). So no value is replaced
  // that was not read twice alike.
  LinkResult<> WriteEepromAddresses(const std::vector<int>& addresses, const std::uint8_t* image, ProgressSink* sink,
                                    const std::uint8_t* before = nullptr);
  // The exit sequence ("H100", back to 9600 baud, "H101" up to three
  // times) after a transfer that failed in service mode, so that a receiver
  // that still listens is back in normal operation. Fails at once on a
  // closed link.
  LinkResult<> ReturnToNormalOperation();

  // --- state ---

  int PortNumber() const { return portNumber_; }
  bool IsOpen() const { return portNumber_ != 0; }
  const std::string& Device() const { return port_.Device(); }
  // Whether the open port's driver hands over each byte at once (SerialPort).
  bool LowLatencyGranted() const { return port_.LowLatencyGranted(); }
  // A copy of LastLine, the latest complete line the reader delivered.
  std::string LastLine() const;
  // The line the latest successful SendAndAwait matched.
  const std::string& AnswerLine() const { return answer_; }

 private:
  void ReaderThread();
  bool AwaitLine(const char* pattern, std::string& line);
  // Entry; `sink` then gets SetRange(0, highest).
  LinkResult<> EnterServiceMode(ProgressSink* sink, int highest);
  LinkResult<> LeaveServiceMode();
  // Entry, one step per address, exit; progress positions run from `start`
  // up to `highest`.
  LinkResult<> Transfer(int start, int count, ProgressSink* sink,
                        const std::function<LinkResult<>(int address)>& transferAddress, int highest = 127,
                        const std::function<LinkResult<>()>& beforeFirst = {});
  // The value of one address, in service mode.
  LinkResult<int> ReadAddressValue(int address);
  // Reads each address again and compares it with before[address]; a
  // ValueChanged failure for the first that differs on a second try.
  LinkResult<> ConfirmOldValues(const std::vector<int>& addresses, const std::uint8_t* before);
  // Writes one address and reads it back.
  LinkResult<> WriteAndVerify(int address, int value);
  // A failure of the step under way, with the transfer's progress; an error
  // number of the system decides the kind where it can.
  LinkFailure Fail(LinkFailureKind kind, std::string step, std::string command = {}, int sysErrno = 0) const;

  // The transfer under way, for its failure record.
  struct TransferProgress {
    bool enteredServiceMode = false;
    int addressesDone = 0;
    bool beganWriting = false;
  };

  int portNumber_ = 0;
  const PortMap* ports_ = nullptr;
  LineTrace* const trace_ = nullptr;
  SerialPort port_;
  std::thread reader_;
  LineHandover handover_;  // LastLine and LineReady
  std::string answer_;
  TransferProgress transfer_;
};

}  // namespace qlr
