// The unattended snapshot: the receiver's EEPROM, once, into a read-only file
// in the current directory (hidden as well, on Windows).
#pragma once

#include <filesystem>

#include "link/receiver_link.h"

namespace qlr {

inline constexpr const char* SnapshotFileName = "EEPROM$$.QLR";

// Scans for the receiver, reads its 128 bytes and writes them, all or
// nothing, as a file without write permission. Does nothing at all, and
// touches no port, when a file of that name is already there. True when a
// snapshot was written; nobody is told either way.
bool TakeSnapshot(CReceiverLink& link, const std::filesystem::path& directory = ".");

}  // namespace qlr
