#include "cli/output/port_holders_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <string_view>

#include "os/unique_handle.h"
#include "os/wide_string.h"

namespace qlr::cli {
namespace {

// Programs that open serial ports and keep them open while they run: ours,
// terminal programs and the Arduino IDE, in lower case.
constexpr std::wstring_view PortPrograms[] = {
    L"saveqlr5500.exe", L"qlr5500.exe", L"putty.exe",   L"kitty.exe",   L"ttermpro.exe",    L"realterm.exe",
    L"coolterm.exe",    L"hterm.exe",   L"termite.exe", L"arduino.exe", L"arduino ide.exe",
};

bool IsPortProgram(std::wstring name) {
  std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
  return std::find(std::begin(PortPrograms), std::end(PortPrograms), name) != std::end(PortPrograms);
}

}  // namespace

std::string PortProgramsRunning() {
  const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  std::string running;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &process); more;
       more = ::Process32NextW(snapshot.Get(), &process)) {
    if (process.th32ProcessID == ::GetCurrentProcessId() || !IsPortProgram(process.szExeFile)) continue;
    running += (running.empty() ? "" : ", ") + Narrow(process.szExeFile) + " (pid " +
               std::to_string(process.th32ProcessID) + ")";
  }
  return running;
}

std::string PortHolderSearch(const std::string& device) {
  std::string_view name = device;
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  wchar_t kernelName[MAX_PATH]{};
  if (name.empty() || ::QueryDosDeviceW(Widen(name).c_str(), kernelName, MAX_PATH) == 0) return {};
  return "Resource Monitor (resmon) → CPU → Associated Handles, searched for " + Narrow(kernelName) + ", names it";
}

}  // namespace qlr::cli
