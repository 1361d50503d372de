#include "localstore/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>

#include "linux_base/atomic_file.h"
#include "linux_base/file_io.h"
#include "localstore/codes.h"
#include "localstore/in_flight.h"

namespace kartiva::localstore {

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

ErrorCode CodeForResult(int error) { return error == 0 ? 0 : CodeForErrno(error, kIoError); }

namespace {

// 0, or the errno of a hard link tried on a new hidden file in `folder`, removed again.
int TryHardLink(const std::filesystem::path& folder) {
  UniqueFd fd;
  std::string name;
  if (const int error = linux_os::CreateHiddenFile(folder, fd, name)) return error;
  const std::string second = name + ".link";
  const int error = linux_os::LinkName(name, second);
  if (error == 0) static_cast<void>(linux_os::RemoveName(second));
  static_cast<void>(linux_os::RemoveName(name));
  return error;
}

}  // namespace

void SayOnce(ErrorCode code, const std::string& line) {
  static std::set<ErrorCode> said;
  if (!said.insert(code).second) return;
  const std::string text = line + "\n";
  static_cast<void>(linux_os::WriteAll(STDERR_FILENO, text.data(), text.size()));
}

ErrorCode CodeForLink(int error, const std::filesystem::path& folder) {
  // EPERM also refuses a link to someone else's file: a link of the store's own file tells.
  if (!linux_os::IsMissingHardLink(error) ||
      !linux_os::IsMissingHardLink(TryHardLink(InFlightFolder(folder)))) {
    return CodeForErrno(error, kIoError);
  }
  SayOnce(
      kNoHardLinks,
      "Kartiva: the store's folder " + folder.string() +
          " is on a file system without hard links (FAT, exFAT, some SMB shares), which the store"
          " needs: keep the store on another file system (KARTIVA_HOME).");
  return kNoHardLinks;
}

ErrorCode HardLinksWork(const std::filesystem::path& folder) {
  const int error = TryHardLink(InFlightFolder(folder));
  return error == 0 ? 0 : CodeForLink(error, folder);
}

ErrorCode Confirmed(int error) { return error == 0 ? 0 : kNotConfirmed; }

ErrorCode OpenRegularFile(const std::string& path, UniqueFd& file) {
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

bool LockByName(const std::filesystem::path& path, UniqueFd& fd) {
  fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
         linux_os::NamesOpenFile(fd.get(), path);
}

bool NameTaken(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool IsRegularFile(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

bool ReadSmallFile(const std::string& path, std::size_t limit, std::string& content) {
  UniqueFd fd;
  if (OpenRegularFile(path, fd) != 0) return false;
  content.clear();
  return linux_os::ReadUpTo(fd.get(), limit, content) == 0 && content.size() <= limit;
}

std::string PathIn(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(name);
  return path;
}

std::string_view LastName(std::string_view path) { return path.substr(path.rfind('/') + 1); }

}  // namespace kartiva::localstore
