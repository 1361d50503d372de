#include "localstore/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "localstore/codes.h"

namespace kartiva::localstore {
namespace {

// A hidden temporary file in `folder`, removed again unless it was renamed away.
class TemporaryFile {
 public:
  // Locked from the start, as every file of a live writer is: recovery removes only the
  // temporary files of dead ones.
  explicit TemporaryFile(const std::filesystem::path& folder)
      : path_((folder / ".incoming-XXXXXX").string()), fd_(::mkostemp(path_.data(), O_CLOEXEC)) {
    if (ok()) ::flock(fd_.get(), LOCK_EX);
  }
  ~TemporaryFile() {
    if (ok() && !renamed_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool ok() const { return opened_; }
  int fd() const { return fd_.get(); }
  const std::string& path() const { return path_; }
  ErrorCode Close() { return ::close(fd_.release()) == 0 ? 0 : CodeForErrno(errno, kIoError); }
  void MarkRenamed() { renamed_ = true; }

 private:
  std::string path_;
  UniqueFd fd_;
  bool opened_ = fd_.get() >= 0;
  bool renamed_ = false;
};

}  // namespace

ErrorCode WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return CodeForErrno(errno, kIoError);
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

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

bool LockFile(int fd, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

ErrorCode WriteFileAtomically(const std::filesystem::path& path, const std::string& content) {
  TemporaryFile temporary(path.parent_path());
  if (!temporary.ok()) return CodeForErrno(errno, kIoError);
  if (ErrorCode code = WriteAll(temporary.fd(), content.data(), content.size())) return code;
  if (::fsync(temporary.fd()) != 0) return CodeForErrno(errno, kIoError);
  if (ErrorCode code = temporary.Close()) return code;
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) return CodeForErrno(errno, kIoError);
  temporary.MarkRenamed();
  return SyncFolder(path.parent_path());
}

ErrorCode SyncFolder(const std::filesystem::path& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || ::fsync(fd.get()) != 0) return CodeForErrno(errno, kIoError);
  return 0;
}

bool ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& content) {
  UniqueFd fd;
  if (OpenRegularFile(path, fd) != 0) return false;
  content.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > limit) return false;
  }
}

}  // namespace kartiva::localstore
