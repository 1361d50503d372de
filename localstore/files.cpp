#include "localstore/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "localstore/codes.h"
#include "posix_base/file_io.h"

namespace kartiva::localstore {

ErrorCode CodeForErrno(int error, ErrorCode otherwise) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kStoreFull;
    case EROFS:
    case EACCES:
    case EPERM:
      return kStoreReadOnly;
    default:
      return otherwise;
  }
}

ErrorCode CodeForResult(int error) { return error == 0 ? 0 : CodeForErrno(error, kIoError); }

ErrorCode Confirmed(int error) { return error == 0 ? 0 : kNotConfirmed; }

ErrorCode OpenRegularFile(const std::filesystem::path& path, UniqueFd& file) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? kFileNotFound
                                                                        : kFileUnreadable;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return kFileUnreadable;
  file = std::move(fd);
  return 0;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat first {};
  struct stat second {};
  return ::lstat(a.c_str(), &first) == 0 && ::lstat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& content) {
  UniqueFd fd;
  if (OpenRegularFile(path, fd) != 0) return false;
  content.clear();
  return posix::ReadUpTo(fd.get(), limit, content) == 0 && content.size() <= limit;
}

}  // namespace kartiva::localstore
