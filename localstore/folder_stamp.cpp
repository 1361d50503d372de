#include "localstore/folder_stamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"
#include "localstore/files.h"
#include "localstore/in_flight.h"

namespace kartiva::localstore {
namespace {

std::string StampFile(const std::string& folder) { return InFlightName(folder, "stamp"); }

// The folder's identity and change time as one line; empty when it cannot be read.
std::string CurrentStamp(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return {};
  std::string nanoseconds = std::to_string(info.st_ctim.tv_nsec);
  nanoseconds.insert(0, 9 - std::min<std::size_t>(nanoseconds.size(), 9), '0');
  return std::to_string(static_cast<unsigned long>(info.st_dev)) + ' ' +
         std::to_string(static_cast<unsigned long>(info.st_ino)) + ' ' +
         std::to_string(static_cast<long long>(info.st_ctim.tv_sec)) + '.' + nanoseconds + '\n';
}

}  // namespace

bool ChangedFromOutside(const std::string& folder) {
  std::string recorded;
  return !ReadSmallFile(StampFile(folder), 96, recorded) || recorded != CurrentStamp(folder);
}

void RecordFolderStamp(const std::string& folder) {
  const UniqueFd fd(::open(StampFile(folder).c_str(),
                           O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  // Taken under the lock, so that of many processes the last to write saw the latest change.
  struct stat facts {};
  if (fd.get() < 0 || linux_os::LockExclusively(fd.get()) != 0 || ::fstat(fd.get(), &facts) != 0 ||
      !S_ISREG(facts.st_mode)) {
    return;
  }
  const std::string stamp = CurrentStamp(folder);
  const auto length = static_cast<off_t>(stamp.size());
  // A stamp left longer than it was written matches no folder: the next run reads it once. One
  // of the same length, as a stamp of the same folder is, needs no cut.
  if (linux_os::WriteAllAt(fd.get(), stamp.data(), stamp.size(), 0) == 0 &&
      facts.st_size != length) {
    [[maybe_unused]] const int truncated = ::ftruncate(fd.get(), length);
  }
}

}  // namespace kartiva::localstore
