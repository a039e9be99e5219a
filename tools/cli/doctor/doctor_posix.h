// What the doctor takes from plain POSIX (doctor_posix.cpp), for the
// system-specific side of doctor.h (doctor_linux.cpp): who this process is
// and who may open a device, from the system's user and group databases.
#pragma once

#include <string>

#include "cli/doctor/doctor.h"

namespace qlr::cli {

// The name of the user this process runs as, or "$USER" when the user
// database does not know it.
std::string CurrentUserName();

// Why this process may not open `port`'s device, and what lets it: joining
// the group that owns the device, a new login that picks up a group joined
// since, or a mode that lets the group in at all.
Finding PermissionFinding(const PortInfo& port);

}  // namespace qlr::cli
