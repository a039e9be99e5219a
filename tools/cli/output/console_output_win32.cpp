#include "cli/output/console_output_win32.h"

#include "os/wide_string.h"

namespace qlr::cli {
namespace {

std::string WithCrLf(const std::string& text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

bool WriteBytes(HANDLE handle, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

bool IsConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(standardHandle), &mode) != 0;
}

ConsoleOutput::Buffer::Buffer(DWORD standardHandle)
    : std::stringbuf(std::ios::out), handle_(::GetStdHandle(standardHandle)), console_(IsConsole(standardHandle)) {}

int ConsoleOutput::Buffer::sync() {
  if (str().empty()) return 0;
  // Written whole, so that no character is cut in two between writes.
  const std::string text = WithCrLf(str());
  str({});
  if (!console_) return WriteBytes(handle_, text) ? 0 : -1;
  // Wine reports 0 characters written on success: success means all of them.
  const std::wstring wide = Widen(text);
  DWORD written = 0;
  return ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) ? 0 : -1;
}

ConsoleOutput::ConsoleOutput(DWORD standardHandle) : std::ostream(nullptr), buffer_(standardHandle) { rdbuf(&buffer_); }

ConsoleOutput::~ConsoleOutput() { buffer_.pubsync(); }

}  // namespace qlr::cli
