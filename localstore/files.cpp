#include "localstore/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "localstore/codes.h"
#include "localstore/crash_point.h"

namespace kartiva::localstore {
namespace {

constexpr const char* kDocumentSuffix = ".001";

// The number of a document file "NNNNNNNN.001", or 0 for any other name.
unsigned long DocumentNumber(const char* name) {
  char* end = nullptr;
  const unsigned long number = std::strtoul(name, &end, 10);
  return end - name == 8 && std::string_view(end) == kDocumentSuffix ? number : 0;
}

unsigned long HighestDocumentNumber(const std::filesystem::path& folder) {
  unsigned long highest = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      highest = std::max(highest, DocumentNumber(entry->d_name));
    }
    ::closedir(dir);
  }
  return highest;
}

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

ErrorCode CopyContent(int source, int target) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(source, buffer.data(), buffer.size());
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return kFileUnreadable;
    }
    if (ErrorCode code = WriteAll(target, buffer.data(), static_cast<std::size_t>(got)))
      return code;
  }
}

// A hidden temporary file in `folder`, removed again unless it was renamed away.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::filesystem::path& folder)
      : path_((folder / ".incoming-XXXXXX").string()), fd_(::mkostemp(path_.data(), O_CLOEXEC)) {}
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

// Gives the finished temporary file the next free document name; link() fails for a name that is
// taken, so two processes never publish under the same one.
ErrorCode Publish(const std::string& temporary, const std::filesystem::path& folder,
                  std::filesystem::path& document) {
  for (unsigned long number = HighestDocumentNumber(folder) + 1; number <= 99999999; ++number) {
    char name[16];
    std::snprintf(name, sizeof name, "%08lu%s", number, kDocumentSuffix);
    const std::filesystem::path candidate = folder / name;
    if (::link(temporary.c_str(), candidate.c_str()) == 0) {
      document = candidate;
      return 0;
    }
    if (errno != EEXIST) return CodeForErrno(errno, kIoError);
  }
  return kStoreFull;
}

}  // namespace

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

ErrorCode CopyAsDocument(int source, const std::filesystem::path& folder, bool durable,
                         std::filesystem::path& document) {
  TemporaryFile temporary(folder);
  if (!temporary.ok()) return CodeForErrno(errno, kIoError);
  if (ErrorCode code = CopyContent(source, temporary.fd())) return code;
  CrashPoint("copy-written");
  if (durable && ::fsync(temporary.fd()) != 0) return CodeForErrno(errno, kIoError);
  if (ErrorCode code = temporary.Close()) return code;
  CrashPoint("copy-flushed");
  if (ErrorCode code = Publish(temporary.path(), folder, document)) return code;
  return durable ? SyncFolder(folder) : 0;
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

bool ReadSmallFile(const std::filesystem::path& path, std::string& content) {
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
  }
}

}  // namespace kartiva::localstore
