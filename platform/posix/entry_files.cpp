#include "platform/posix/entry_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "localstore/files.h"
#include "platform/posix/file_manager_entries.h"

namespace kartiva::posix {
namespace {

using localstore::UniqueFd;

constexpr std::size_t kOwnFileLimit =
    std::size_t{16} * 1024;  // far more than any file written here

// Reads the open file to its end, or until it holds more than `limit` bytes.
RegResult ReadAll(int fd, std::size_t limit, std::string& content, bool& tooLong) {
  char buffer[8192];
  tooLong = false;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return kErrorSuccess;
    if (got < 0) {
      if (errno == EINTR) continue;
      return CodeForErrno(errno);
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > limit) {
      tooLong = true;
      return kErrorSuccess;
    }
  }
}

bool WriteAll(int fd, const std::string& content) {
  std::size_t written = 0;
  while (written < content.size()) {
    const ssize_t put = ::write(fd, content.data() + written, content.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

RegResult CodeForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    default:
      return kErrorRegistryIoFailed;
  }
}

FileState InspectFile(const std::filesystem::path& path) {
  FileState state;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    state.kind = errno == ENOENT ? FileKind::Missing : FileKind::Foreign;
    return state;
  }
  state.kind = FileKind::Foreign;
  if (!S_ISREG(info.st_mode)) return state;
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  bool tooLong = false;
  if (file.get() < 0 || ReadAll(file.get(), kOwnFileLimit, state.content, tooLong) != 0) {
    return state;
  }
  if (BearsMarker(state.content)) {
    state.kind = FileKind::Ours;
    state.mode = info.st_mode & 07777;
  }
  return state;
}

RegResult ReadRegularFile(const std::filesystem::path& path, std::size_t limit,
                          std::string& content) {
  content.clear();
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) return errno == ENOENT ? kErrorSuccess : CodeForErrno(errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return CodeForErrno(errno);
  if (!S_ISREG(info.st_mode)) return kErrorAccessDenied;
  bool tooLong = false;
  if (RegResult result = ReadAll(file.get(), limit, content, tooLong)) return result;
  return tooLong ? kErrorFileTooLarge : kErrorSuccess;
}

RegResult ReplaceFile(const std::filesystem::path& path, const std::string& content, mode_t mode) {
  std::string temporary = (path.parent_path() / ".kartiva-XXXXXX").string();
  const UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) return CodeForErrno(errno);
  const bool written = WriteAll(file.get(), content) && ::fchmod(file.get(), mode) == 0 &&
                       ::fsync(file.get()) == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (written) return kErrorSuccess;
  const int error = errno;
  ::unlink(temporary.c_str());
  return CodeForErrno(error);
}

}  // namespace kartiva::posix
