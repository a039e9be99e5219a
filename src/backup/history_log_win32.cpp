// Appending to the history on Windows: FILE_APPEND_DATA, one WriteFile,
// FlushFileBuffers.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "backup/history_log.h"
#include "os/unique_handle.h"
#include "os/utf8_path.h"

namespace qlr {

BackupResult<> AppendToLog(const std::filesystem::path& log, std::string_view line, const BackupFolder&) {
  const auto refused = [&log] {
    return BackupFailure{
        BackupFailureKind::LogRefused,
        "cannot add to the history " + Utf8OfPath(log) + " (Windows error " + std::to_string(::GetLastError()) + ")"};
  };
  // Append access without write access: every write goes to the end, whoever else appends.
  const UniqueHandle file(::CreateFileW(log.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return refused();
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Get(), &size)) return refused();
  std::string text;
  if (size.QuadPart > 0) {
    char last = '\n';
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    DWORD read = 0;
    if (::ReadFile(file.Get(), &last, 1, &read, &at) && read == 1 && last != '\n') text = "\n";
  }
  text += line;
  DWORD written = 0;
  if (!::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return refused();
  if (written != text.size()) {
    ::SetLastError(ERROR_DISK_FULL);
    return refused();
  }
  // A new log's folder entry needs no flush of its own: the file system journals it with the file.
  if (!::FlushFileBuffers(file.Get())) return refused();
  return {};
}

std::string ReadLogText(const std::filesystem::path& log) {
  std::ifstream file(log, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace qlr
