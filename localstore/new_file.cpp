#include "localstore/new_file.h"

#include <cerrno>

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
  int error = posix::OpenUnnamedFile(folder, fd_);
  // Locked from the start: recovery removes only the temporary files of dead writers.
  if (error == 0 && !posix::LockWithin(fd_.get(), kLockWait)) error = EAGAIN;
  // Where the file system cannot make a file without a name (NFS, FUSE), a hidden one.
  if (posix::IsMissingCall(error) || error == EISDIR) {
    error = posix::CreateHiddenFile(folder, fd_, temporary_);
    if (error != 0) temporary_.clear();
  }
  if (error != 0) return CodeForErrno(error, kIoError);
  posix::crash_state::DataWritten(fd_.get());
  return 0;
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
    if (error != EEXIST) return CodeForLink(error, folder);
  }
  CrashPoint("import-named");
  return 0;
}

int NewFile::Publish(const std::filesystem::path& target) {
  return temporary_.empty() ? posix::LinkOpenFile(fd_.get(), target)
                            : posix::LinkName(temporary_, target);
}

}  // namespace kartiva::localstore
