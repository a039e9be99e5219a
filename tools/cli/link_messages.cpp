#include "cli/link_messages.h"

#include <cerrno>
#include <cstring>

namespace qlr::cli {
namespace {

bool StartsWith(const std::string& text, std::string_view prefix) { return text.rfind(prefix, 0) == 0; }

std::string Sentence(const LinkFailure& failure, const std::string& device, int port, std::string_view group) {
  const std::string where = device.empty() ? "port " + std::to_string(port) : device;
  switch (failure.sysErrno) {
    case 0: break;
    case EACCES:
    case EPERM:
      return "permission denied on " + where + ": add your user to the " + std::string(group) +
             " group (and log in again)";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      if (device.empty())
        return "no such device: port " + std::to_string(port) + " has none (" + PortListHint + ")";
      return "no such device: " + device + DeviceListHint;
    case EBUSY: return "device busy: " + where + " is in use by another program";
    case ENOTTY: return where + " is not a serial device";
    case EIO: return "input/output error on " + where + ": was it unplugged?";
    default: return "cannot use " + where + ": " + std::strerror(failure.sysErrno);
  }
  if (StartsWith(failure.step, "no answer")) {
    return "no answer from the receiver on " + where + ": is it connected and switched on?";
  }
  if (StartsWith(failure.step, "write to")) return "the line to " + where + " is stuck";
  if (StartsWith(failure.step, "address")) return "the receiver on " + where + " did not keep a value written";
  return "the receiver on " + where + " failed";
}

}  // namespace

std::string DescribeLinkFailure(const LinkFailure& failure, const std::string& device, int port,
                                std::string_view accessGroup) {
  std::string text = Sentence(failure, device, port, accessGroup);
  if (!failure.step.empty()) text += " (failed step: " + failure.step + ")";
  return text;
}

}  // namespace qlr::cli
