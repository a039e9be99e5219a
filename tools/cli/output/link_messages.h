// Sentences for the link's failures that tell a user what to do about them.
#pragma once

#include <string>
#include <string_view>

#include "link/receiver_link.h"

namespace qlr::cli {

// The message for `failure` on `device`, ending with the step that failed,
// e.g. "permission denied on /dev/ttyUSB0: add your user to the dialout
// group (failed step: open /dev/ttyUSB0)". `device` may be empty when port
// `port` has no device; `accessGroup` is the group that owns the device.
std::string DescribeLinkFailure(const LinkFailure& failure, const std::string& device, int port,
                                std::string_view accessGroup);

// The group that owns `device` (the group a user needs to join to open it),
// or "dialout" when that cannot be told.
std::string AccessGroupOf(const std::string& device);

// The sentence for a port another program holds; `where` names it, `device`
// is its device. On Windows, whose open says "access denied" and nothing of
// the holder, it names the running programs that open ports and where to
// look for the one.
std::string BusySentence(const std::string& where, const std::string& device);

// Where a user finds the ports that exist, after "no such device".
extern const char* const PortListHint;    // for a port number
extern const char* const DeviceListHint;  // after a device, from its first character on

}  // namespace qlr::cli
