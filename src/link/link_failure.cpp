#include "link/link_failure.h"

#include <cerrno>

namespace qlr {

LinkFailureKind KindOfSystemError(int sysErrno, LinkFailureKind otherwise) {
  switch (sysErrno) {
    case EACCES:
    case EPERM: return LinkFailureKind::PermissionDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO: return LinkFailureKind::NoDevice;
    case EBUSY: return LinkFailureKind::Busy;
    case ENOTTY: return LinkFailureKind::NotSerial;
    case EIO: return LinkFailureKind::LineDown;
    default: return otherwise;
  }
}

}  // namespace qlr
