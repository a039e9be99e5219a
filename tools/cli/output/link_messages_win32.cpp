#include "cli/output/link_messages.h"

namespace qlr::cli {

const char* const PortListHint =
    "'qlr5500 ports' lists them; Device Manager shows their numbers under Ports (COM & LPT)";
const char* const DeviceListHint = ": Device Manager lists the COM ports under Ports (COM & LPT)";

// Opening a COM port needs no group on Windows.
std::string AccessGroupOf(const std::string&) { return {}; }

}  // namespace qlr::cli
