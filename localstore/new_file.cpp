#include "localstore/new_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "localstore/codes.h"
#include "localstore/numbering.h"
#include "posix_base/file_lock.h"

namespace kartiva::localstore {

NewFile::~NewFile() {
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

ErrorCode NewFile::Create(const std::filesystem::path& folder) {
  fd_ = UniqueFd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd_.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = (folder / (std::string(kIncomingPrefix) + "XXXXXX")).string();
    fd_ = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd_.get() >= 0) temporary_ = std::move(name);
  }
  if (fd_.get() < 0) return CodeForErrno(errno, kIoError);
  // Locked from the start: recovery removes only the temporary files of dead writers.
  return posix::LockWithin(fd_.get(), kLockWait) ? 0 : kIoError;
}

int NewFile::Publish(const std::filesystem::path& target) {
  if (!temporary_.empty()) return ::link(temporary_.c_str(), target.c_str()) == 0 ? 0 : errno;
  // A file without a name gets one through its entry in /proc, which needs no privilege.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return errno;
  return ::linkat(fd_.get(), "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

}  // namespace kartiva::localstore
