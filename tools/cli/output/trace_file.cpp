#include "cli/output/trace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "backup/history_record.h"

namespace qlr::cli {
namespace {

// "38400 8N2"
std::string Settings(const LineFormat& format) {
  const char parity = format.parity == Parity::None ? 'N' : format.parity == Parity::Odd ? 'O' : 'E';
  return std::to_string(format.baud) + " " + std::to_string(format.byteSize) + parity +
         (format.stopBits == StopBits::Two ? "2" : "1");
}

std::string Reason(int sysErrno) { return sysErrno > 0 ? std::strerror(sysErrno) : "reason unknown"; }

// Bytes that crossed the line as the trace shows them: without their CR LF end, escaped.
std::string TraceText(std::string_view bytes) {
  if (bytes.ends_with("\r\n")) bytes.remove_suffix(2);
  std::string text;
  for (const char& c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    // Past ASCII a receiver sends only garbage, which must reach a report byte for byte.
    if (byte > 0x7F) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    } else {
      text += EscapedField({&c, 1});
    }
  }
  return text;
}

// One line of the trace, with its '\n'.
std::string TraceLine(LineTrace::Clock::duration sinceStart, const std::optional<LineFormat>& inForce,
                      std::string_view event) {
  const double ms = std::chrono::duration<double, std::milli>(sinceStart).count();
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "%10.3f ms  %9s  ", ms, inForce ? Settings(*inForce).c_str() : "-");
  return prefix + std::string(event) + "\n";
}

}  // namespace

TraceFile::TraceFile(const std::filesystem::path& path, std::string_view heading) {
  errno = 0;
  file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (file_) file_ << "# " << heading << "\n" << std::flush;
  if (!file_) {
    failed_ = true;
    failureErrno_ = errno;
  }
}

std::string TraceFile::Failure() const {
  const std::lock_guard lock(mutex_);
  return failed_ ? Reason(failureErrno_) : std::string();
}

void TraceFile::PortOpened(Clock::time_point at, const std::string& device, int sysErrno) {
  Write(at, "open " + device + (sysErrno != 0 ? " failed: " + Reason(sysErrno) : ""), std::nullopt);
}

void TraceFile::LineFormatSet(Clock::time_point at, const LineFormat& format, int sysErrno) {
  const std::string event = "line format " + Settings(format);
  if (sysErrno != 0) {
    Write(at, event + " refused: " + Reason(sysErrno));
  } else {
    Write(at, event, format);
  }
}

void TraceFile::Sending(Clock::time_point at, std::string_view bytes) { Write(at, "> " + TraceText(bytes)); }

void TraceFile::WriteFailed(Clock::time_point at, int sysErrno) {
  Write(at, sysErrno != 0 ? "write failed: " + Reason(sysErrno) : std::string("write timed out"));
}

void TraceFile::LineReceived(Clock::time_point at, std::string_view line) { Write(at, "< " + TraceText(line)); }

void TraceFile::LineDown(Clock::time_point at) { Write(at, "line down: the device reported an error or a hang-up"); }

void TraceFile::PortClosed(Clock::time_point at) { Write(at, "closed", std::nullopt); }

void TraceFile::Write(Clock::time_point at, std::string_view event) {
  const std::lock_guard lock(mutex_);
  WriteLine(at, event);
}

void TraceFile::Write(Clock::time_point at, std::string_view event, const std::optional<LineFormat>& inForce) {
  const std::lock_guard lock(mutex_);
  inForce_ = inForce;
  WriteLine(at, event);
}

void TraceFile::WriteLine(Clock::time_point at, std::string_view event) {
  // After a failure the rest would be a trace with a hole in it.
  if (failed_) return;
  errno = 0;
  file_ << TraceLine(at - start_, inForce_, event) << std::flush;
  if (!file_) {
    failed_ = true;
    failureErrno_ = errno;
  }
}

}  // namespace qlr::cli
