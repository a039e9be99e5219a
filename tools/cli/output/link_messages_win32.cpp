#include "cli/output/link_messages.h"

#include "cli/output/port_holders_win32.h"

namespace qlr::cli {

const char* const PortListHint =
    "'qlr5500 ports' lists them; Device Manager shows their numbers under Ports (COM & LPT)";
const char* const DeviceListHint = ": Device Manager lists the COM ports under Ports (COM & LPT)";

std::string BusySentence(const std::string& where, const std::string& device) {
  std::string text = "access denied on " + where + ": another program has it open";
  if (const std::string running = PortProgramsRunning(); !running.empty()) text += "; running now: " + running;
  if (const std::string search = PortHolderSearch(device); !search.empty()) text += "; " + search;
  return text;
}

// Opening a COM port needs no group on Windows.
std::string AccessGroupOf(const std::string&) { return {}; }

}  // namespace qlr::cli
