#include "platform/linux/errno_result.h"

#include <cerrno>

namespace kartiva::linux_os {

RegResult RegResultForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    default:
      return kErrorRegistryIoFailed;
  }
}

}  // namespace kartiva::linux_os
