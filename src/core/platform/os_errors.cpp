// errno to File Manager code translation.
#include "core/platform/os_errors.h"

#include <cerrno>

namespace fw {

OSErr OSErrFromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return noErr;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return dskFulErr;
    case ENOENT:
      return fnfErr;
    case EEXIST:
      return dupFNErr;
    case ENAMETOOLONG:
      return bdNamErr;
    case ENOTDIR:
      return dirNFErr;
    case EIO:
      return ioErr;
    case EACCES:
    case EPERM:
      return permErr;
    case EROFS:
      return wPrErr;
    case ENOMEM:
      return memFullErr;
    default:
      return errnoValue;
  }
}

}  // namespace fw
