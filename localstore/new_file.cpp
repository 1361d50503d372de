#include "localstore/new_file.h"

#include <cerrno>

#include "linux_base/atomic_file.h"
#include "linux_base/crash_state.h"
#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"
#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/numbering.h"

namespace kartiva::localstore {

NewFile::~NewFile() {
  if (!temporary_.empty()) static_cast<void>(linux_os::RemoveName(temporary_));
}

ErrorCode NewFile::Create(const std::string& folder) {
  int error = linux_os::OpenUnnamedFile(folder, fd_);
  // Locked from the start: recovery removes only the temporary files of dead writers.
  if (error == 0 && !linux_os::LockWithin(fd_.get(), kLockWait)) error = EAGAIN;
  // Where the file system cannot make a file without a name (NFS, FUSE), a hidden one.
  if (linux_os::IsMissingCall(error) || error == EISDIR) {
    error = linux_os::CreateHiddenFile(folder, fd_, temporary_);
    if (error != 0) temporary_.clear();
  }
  if (error != 0) return CodeForErrno(error, kIoError);
  linux_os::crash_state::DataWritten(fd_.get());
  return 0;
}

ErrorCode NewFile::Flush() { return CodeForResult(linux_os::SyncFile(fd_.get())); }

ErrorCode NewFile::PublishAsDocument(const std::filesystem::path& folder,
                                     std::filesystem::path& document) {
  if (ErrorCode code = NameAsDocument(folder, document)) return code;
  return Confirmed(linux_os::ConfirmFolder(folder));
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
  return temporary_.empty() ? linux_os::LinkOpenFile(fd_.get(), target)
                            : linux_os::LinkName(temporary_, target);
}

}  // namespace kartiva::localstore
