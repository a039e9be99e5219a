// --trace FILE: what crossed the serial line (link/line_trace.h) as a text
// file that a user can read, search and send with a report. After a heading
// that starts with '#', one line per event:
//
//      12.345 ms   9600 8N2  > H101
//      14.101 ms   9600 8N2  < G000
//     231.220 ms  38400 8N2  line format 38400 8N2
//
// the time since the trace began, the line settings in force ("-" while the
// open port has none of ours yet), and the event: "> " and the bytes sent,
// "< " and a line received, or in words (open, line format, write failed,
// line down, closed). The CR LF that ends a command or a line is left out;
// any other byte outside printable ASCII is written \r, \n, \t or \xHH, and
// a backslash \\.
//
// Each line is written and flushed on its own, so that the file holds every
// event up to the moment the program ended, however it ended.
//
// Threads: the link's two threads may call at once; one lock orders the
// lines. The reader thread's calls do nothing but format and write.
#pragma once

#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "link/line_trace.h"

namespace qlr::cli {

class TraceFile final : public LineTrace {
 public:
  // Creates (or replaces) the file at `path` with `heading` as its first
  // line; the trace's time starts now. Failure() says when it could not.
  TraceFile(const std::filesystem::path& path, std::string_view heading);

  // Empty while every line has reached the file; otherwise why the first
  // that did not failed, the file's creation included ("No space left on
  // device"). Call it on the thread that uses the link.
  std::string Failure() const;

  void PortOpened(Clock::time_point at, const std::string& device, int sysErrno) override;
  void LineFormatSet(Clock::time_point at, const LineFormat& format, int sysErrno) override;
  void Sending(Clock::time_point at, std::string_view bytes) override;
  void WriteFailed(Clock::time_point at, int sysErrno) override;
  void LineReceived(Clock::time_point at, std::string_view line) override;
  void LineDown(Clock::time_point at) override;
  void PortClosed(Clock::time_point at) override;

 private:
  // Writes the event's line with the settings in force.
  void Write(Clock::time_point at, std::string_view event);
  // The same once `inForce` has replaced them.
  void Write(Clock::time_point at, std::string_view event, const std::optional<LineFormat>& inForce);
  // With the lock held. A failure keeps its errno; its text is made on asking.
  void WriteLine(Clock::time_point at, std::string_view event);

  const Clock::time_point start_ = Clock::now();
  mutable std::mutex mutex_;
  std::ofstream file_;
  std::optional<LineFormat> inForce_;
  bool failed_ = false;
  int failureErrno_ = 0;
};

}  // namespace qlr::cli
