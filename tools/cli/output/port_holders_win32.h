// Who holds a COM port that Windows refused to open. Windows answers "access
// denied" and tells an ordinary program nothing of the process that has the
// port open: these name the running programs known to open serial ports,
// and the search in Resource Monitor that finds the one.
#pragma once

#include <string>

namespace qlr::cli {

// "putty.exe (pid 4242), SaveQLR5500.exe (pid 812)": the running programs
// known to open serial ports, this process left out; empty for none.
std::string PortProgramsRunning();

// "Resource Monitor (resmon) → CPU → Associated Handles, searched for
// \Device\VCP0, names it" for `device` (\\.\COM5 or COM5); empty when
// Windows knows no kernel name for it.
std::string PortHolderSearch(const std::string& device);

}  // namespace qlr::cli
