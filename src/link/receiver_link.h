// CReceiverLink: the program's one connection to the receiver.
//
// Transport: a serial port, a reader thread that turns the received bytes
// into lines, and the exchange of a command for an answer line. Protocol: the
// receiver's commands built on that exchange (finding the receiver, its
// region, reading and writing its EEPROM through service mode).
//
// Results follow one convention: 1 for success, 0 for failure (QueryRegion:
// the code or -1); LastFailure() then tells why (link_failure.h). No
// exception leaves the link. Every operation runs on the caller's thread and
// blocks it; every wait is bounded: 3000 ms for the reader's start, 500 ms
// per write, 500 ms per answer line, at most 1020 ms of draining before a
// change of line format.
//
// Threads: one caller thread uses the link; the reader thread it starts for
// each opened port is the only other thread, and it never touches anything
// but the port, LastLine and LineReady. ClosePort wakes and joins it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "link/line_assembler.h"
#include "link/line_handover.h"
#include "link/link_failure.h"
#include "link/progress_sink.h"
#include "link/serial_port.h"

namespace qlr {

class CReceiverLink {
 public:
  static constexpr int FirstPort = 1;
  static constexpr int LastPort = 16;
  static constexpr std::uint32_t NormalBaud = 9600;
  static constexpr std::uint32_t ServiceBaud = 38400;

  explicit CReceiverLink(const SystemCalls* calls = nullptr);
  virtual ~CReceiverLink();
  CReceiverLink(const CReceiverLink&) = delete;
  CReceiverLink& operator=(const CReceiverLink&) = delete;

  // --- transport ---

  // Opens port n (1..16, through the port map) at 9600 baud 8N2 and starts
  // its reader. Closes whatever was open first, also when it fails.
  int OpenPort(int number);
  // The same on a device given by path; `number` becomes PortNumber (not 0).
  int OpenPort(int number, const std::string& device);
  // Waits for the queues to drain, purges the input and sets the format.
  int SetLineFormat(std::uint32_t baud, std::uint8_t byteSize, Parity parity, StopBits stopBits);
  // Stops the reader and releases the port; harmless when closed.
  void ClosePort();
  // Sends bytes; a refused write or one not done within 500 ms closes the link.
  int WriteRaw(const char* bytes, std::uint32_t length);
  // Sends a command (receiver_commands.h, with its CR LF) and waits for no answer.
  int Send(const char* command);
  // Sends a command (with its CR LF) and waits for the first status line
  // ("G00x"): 1 if it is "G000".
  int SendAndAwaitOk(const char* command);
  // Sends a command and waits for a line matching `pattern`; the line is
  // then AnswerLine().
  int SendAndAwait(const char* command, const char* pattern);
  // 1 if the latest delivered line matches the pattern.
  int LineMatches(const char* pattern) const;

  // --- protocol ---

  // The presence check: "H101" up to three times until one is answered
  // "G000", with `pause` before each retry. 1 if a receiver answered.
  int CheckPresence(std::chrono::milliseconds pause = {});
  // Scans ports 1..16 for a receiver that passes the presence check (back
  // to back); leaves its port open.
  int FindReceiver();
  // The receiver's region code 0..255, or -1 without an answer.
  int QueryRegion();
  // Reads `count` addresses from `start` into `destination`.
  int ReadEeprom(int start, int count, std::uint8_t* destination, ProgressSink* sink);
  // Writes `count` addresses from `start`, verifying each by reading it back.
  // Both transfers record in a failure whether service mode was entered and
  // how many addresses were done.
  int WriteEeprom(int start, int count, const std::uint8_t* source, ProgressSink* sink);

  // --- state ---

  int PortNumber() const { return portNumber_; }
  bool IsOpen() const { return portNumber_ != 0; }
  const std::string& Device() const { return port_.Device(); }
  // A copy of LastLine, the latest complete line the reader delivered.
  std::string LastLine() const;
  // The line the latest successful SendAndAwait matched.
  const std::string& AnswerLine() const { return answer_; }
  const LinkFailure& LastFailure() const { return failure_; }

 private:
  void ReaderThread();
  int AwaitLine(const char* pattern, std::string& line);
  bool EnterServiceMode(ProgressSink* sink);
  bool LeaveServiceMode();
  // Entry, one step per address, exit; `transferAddress` is 1 when its address is done.
  int Transfer(int start, int count, ProgressSink* sink, const std::function<int(int address)>& transferAddress);
  // Records a failure; an error number of the system decides the kind where it can.
  int Fail(LinkFailureKind kind, std::string step, std::string command = {}, int sysErrno = 0);

  // The transfer under way, for its failure record.
  struct TransferProgress {
    bool enteredServiceMode = false;
    int addressesDone = 0;
  };

  int portNumber_ = 0;
  SerialPort port_;
  std::thread reader_;
  LineHandover handover_;  // LastLine and LineReady
  std::string answer_;
  LinkFailure failure_;
  TransferProgress transfer_;
};

}  // namespace qlr
