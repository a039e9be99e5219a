// Who may hold a port Windows refused to open: a program of the known names
// in the real process list, named in the message a user reads.
#include "cli/output/port_holders_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "cli/output/link_messages.h"
#include "os/unique_handle.h"

namespace qlr::cli {
namespace {

namespace fs = std::filesystem;

TEST(PortHolders, NameARunningTerminalProgram) {
  // A copy of this program under a terminal program's name, started suspended, stands for one.
  const fs::path folder = fs::temp_directory_path() / ("qlr-holders-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder);
  wchar_t self[MAX_PATH]{};
  ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  const fs::path terminal = folder / "PuTTY.exe";
  fs::copy_file(self, terminal, fs::copy_options::overwrite_existing);
  std::wstring commandLine = L"\"" + terminal.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(::CreateProcessW(terminal.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &started));
  const UniqueHandle process(started.hProcess);
  const UniqueHandle thread(started.hThread);
  LinkFailure busy;
  busy.kind = LinkFailureKind::Busy;
  const std::string message = DescribeLinkFailure(busy, "\\\\.\\COM5", 5, "");
  ::TerminateProcess(process.Get(), 0);
  ::WaitForSingleObject(process.Get(), 5000);
  std::error_code error;
  fs::remove_all(folder, error);
  EXPECT_EQ(message.rfind("access denied on \\\\.\\COM5: another program has it open; running now: ", 0), 0u)
      << message;
  EXPECT_NE(message.find("PuTTY.exe (pid " + std::to_string(started.dwProcessId) + ")"), std::string::npos) << message;
}

}  // namespace
}  // namespace qlr::cli
