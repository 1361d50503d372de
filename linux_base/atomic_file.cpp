#include "linux_base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"

namespace kartiva::linux_os {
namespace {

// How long a new file waits for a clean-up that took it for a dead writer's to let it go.
constexpr std::chrono::seconds kCleanUpWait{10};

// A hidden temporary file in `folder`, removed again unless it was renamed away.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& folder)
      : error_(CreateHiddenFile(folder, fd_, path_)) {}
  ~TemporaryFile() {
    if (error_ == 0 && !renamed_) static_cast<void>(RemoveName(path_));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int error() const { return error_; }
  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  void MarkRenamed() { renamed_ = true; }

 private:
  UniqueFd fd_;
  std::string path_;
  int error_;
  bool renamed_ = false;
};

}  // namespace

int CreateHiddenFile(const std::filesystem::path& folder, UniqueFd& fd, std::string& path) {
  // Each try that loses its name to a clean-up leaves nothing; a few are more than any race.
  constexpr int kTries = 8;
  for (int tried = 0; tried < kTries; ++tried) {
    path = (folder / (std::string(kIncomingPrefix) + "XXXXXX")).string();
    if (const int error = CreateUniqueFile(path, fd)) return error;
    if (!LockWithin(fd.get(), kCleanUpWait)) {
      const int error = errno != 0 ? errno : EAGAIN;
      static_cast<void>(RemoveName(path));
      return error;
    }
    if (NamesOpenFile(fd.get(), path)) return 0;
  }
  return EAGAIN;
}

int ReplaceFileAtomically(const std::filesystem::path& path, const std::string& content,
                          mode_t mode, int* unconfirmed) {
  TemporaryFile temporary(path.parent_path());
  if (const int error = temporary.error()) return error;
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

}  // namespace kartiva::linux_os
