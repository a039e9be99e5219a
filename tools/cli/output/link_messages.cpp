#include "cli/output/link_messages.h"

#include <cstring>

namespace qlr::cli {
namespace {

std::string Sentence(const LinkFailure& failure, const std::string& device, int port, std::string_view group) {
  const std::string where = device.empty() ? "port " + std::to_string(port) : device;
  switch (failure.kind) {
    case LinkFailureKind::PermissionDenied:
      return "permission denied on " + where + ": add your user to the " + std::string(group) +
             " group (and log in again)";
    case LinkFailureKind::NoDevice:
      if (device.empty()) return "no such device: port " + std::to_string(port) + " has none (" + PortListHint + ")";
      return "no such device: " + device + DeviceListHint;
    case LinkFailureKind::Busy: return BusySentence(where, device);
    case LinkFailureKind::NotSerial: return where + " is not a serial device";
    case LinkFailureKind::LineDown: return "input/output error on " + where + ": was it unplugged?";
    case LinkFailureKind::NoAnswer:
      return "no answer from the receiver on " + where + ": is it connected and switched on?";
    case LinkFailureKind::WriteTimedOut: return "the line to " + where + " is stuck";
    case LinkFailureKind::ValueNotKept: return "the receiver on " + where + " did not keep a value written";
    case LinkFailureKind::ValueChanged:
      return "the receiver on " + where +
             " no longer holds a value read for the backup: the line garbled an answer, or the receiver changed "
             "since; check the cable and its plugs, then try again";
    case LinkFailureKind::None:
    case LinkFailureKind::SystemError:
    case LinkFailureKind::BadRequest:
    case LinkFailureKind::LineSettingsRefused:
    case LinkFailureKind::WriteFailed:
    case LinkFailureKind::WrongAnswer:
    case LinkFailureKind::NoReceiver: break;
  }
  if (failure.sysErrno != 0) return "cannot use " + where + ": " + std::strerror(failure.sysErrno);
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
