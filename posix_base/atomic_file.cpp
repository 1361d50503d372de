#include "posix_base/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "posix_base/file_io.h"
#include "posix_base/unique_fd.h"

namespace kartiva::posix {
namespace {

// A hidden temporary file in `folder`, removed again unless it was renamed away.
class TemporaryFile {
 public:
  // Locked from the start, as every file of a live writer is.
  explicit TemporaryFile(const std::filesystem::path& folder)
      : path_((folder / (std::string(kIncomingPrefix) + "XXXXXX")).string()),
        fd_(::mkostemp(path_.data(), O_CLOEXEC)) {
    if (ok()) ::flock(fd_.get(), LOCK_EX);
  }
  ~TemporaryFile() {
    if (ok() && !renamed_) static_cast<void>(RemoveName(path_));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool ok() const { return opened_; }
  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  void MarkRenamed() { renamed_ = true; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool opened_ = fd_.get() >= 0;
  bool renamed_ = false;
};

}  // namespace

int ReplaceFileAtomically(const std::filesystem::path& path, const std::string& content,
                          mode_t mode, int* unconfirmed) {
  TemporaryFile temporary(path.parent_path());
  if (!temporary.ok()) return errno;
  if (int error = WriteAll(temporary.fd(), content.data(), content.size())) return error;
  if (::fchmod(temporary.fd(), mode) != 0) return errno;
  if (int error = SyncFile(temporary.fd())) return error;
  if (int error = RenameOver(temporary.path(), path)) return error;
  temporary.MarkRenamed();
  // The file is replaced: from here on nothing undoes it, and a failure only leaves it
  // unconfirmed.
  const int error = ConfirmFolder(path.parent_path());
  if (unconfirmed != nullptr) *unconfirmed = error;
  return 0;
}

int ConfirmFolder(const std::filesystem::path& folder) {
  const int error = SyncFolder(folder);
  return error == 0 ? 0 : SyncFolder(folder);
}

}  // namespace kartiva::posix
