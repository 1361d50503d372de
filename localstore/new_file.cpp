#include "localstore/new_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/numbering.h"
#include "posix_base/atomic_file.h"
#include "posix_base/crash_state.h"
#include "posix_base/file_io.h"
#include "posix_base/file_lock.h"

namespace kartiva::localstore {

NewFile::~NewFile() {
  if (!temporary_.empty()) static_cast<void>(posix::RemoveName(temporary_));
}

ErrorCode NewFile::Create(const std::filesystem::path& folder) {
  fd_ = UniqueFd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd_.get() < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    std::string name = (folder / (std::string(kIncomingPrefix) + "XXXXXX")).string();
    fd_ = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd_.get() >= 0) temporary_ = std::move(name);
  }
  if (fd_.get() < 0) return CodeForErrno(errno, kIoError);
  posix::crash_state::DataWritten(fd_.get());
  // Locked from the start: recovery removes only the temporary files of dead writers.
  return posix::LockWithin(fd_.get(), kLockWait) ? 0 : kIoError;
}

ErrorCode NewFile::Flush() { return CodeForResult(posix::SyncFile(fd_.get())); }

ErrorCode NewFile::PublishAsDocument(const std::filesystem::path& folder,
                                     std::filesystem::path& document) {
  if (ErrorCode code = NameAsDocument(folder, document)) return code;
  return Confirmed(posix::ConfirmFolder(folder));
}

ErrorCode NewFile::NameAsDocument(const std::filesystem::path& folder,
                                  std::filesystem::path& document) {
  if (ErrorCode code = Flush()) return code;
  for (;;) {
    if (document.empty()) {
      unsigned long number = 0;
      if (ErrorCode code = NextNumber(folder, number)) return code;
      document = folder / DocumentName(number);
    }
    const int error = Publish(document);
    if (error == 0) break;
    document.clear();
    if (error != EEXIST) return CodeForErrno(error, kIoError);
  }
  CrashPoint("import-named");
  return 0;
}

int NewFile::Publish(const std::filesystem::path& target) {
  return temporary_.empty() ? posix::LinkOpenFile(fd_.get(), target)
                            : posix::LinkName(temporary_, target);
}

}  // namespace kartiva::localstore
