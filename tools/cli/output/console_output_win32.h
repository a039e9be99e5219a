// qlr5500.exe's standard output and error: the CLI's UTF-8 text, shown right
// on a console whatever its code page, and kept as UTF-8 in a file or pipe.
#pragma once

#include <windows.h>

#include <ostream>
#include <sstream>
#include <string>

namespace qlr::cli {

// Whether a standard handle (STD_INPUT_HANDLE, ...) is a console.
bool IsConsole(DWORD standardHandle);

// A stream over STD_OUTPUT_HANDLE or STD_ERROR_HANDLE. Text is held until a
// flush and then written whole: through WriteConsoleW on a console, as the
// UTF-8 bytes elsewhere; line ends become CR LF in both, as in any Windows
// program's text. A failed write sets badbit.
class ConsoleOutput : public std::ostream {
 public:
  explicit ConsoleOutput(DWORD standardHandle);
  ~ConsoleOutput() override;
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

 private:
  // Holds the text as a stringbuf does; a flush writes it out.
  class Buffer : public std::stringbuf {
   public:
    explicit Buffer(DWORD standardHandle);

   protected:
    int sync() override;

   private:
    HANDLE handle_;
    bool console_;
  };
  Buffer buffer_;
};

}  // namespace qlr::cli
