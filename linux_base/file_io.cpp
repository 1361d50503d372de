#include "linux_base/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "linux_base/crash_state.h"

namespace kartiva::linux_os {
namespace {

// 0, or the errno of `call` (which gives 0 or -1), tried again while it is interrupted.
template <typename Call>
int Retried(Call call) {
  for (;;) {
    if (call() == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

}  // namespace

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

int WriteAllAt(int fd, const char* data, std::size_t size, off_t offset) {
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, data, size, offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    data += written;
    offset += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

int ReadUpTo(int fd, std::size_t limit, std::string& content) {
  char buffer[8192];
  while (content.size() <= limit) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return 0;
}

int ReadAt(int fd, char* data, std::size_t size, off_t offset, std::size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t part = ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got));
    if (part == 0) return 0;
    if (part < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    got += static_cast<std::size_t>(part);
  }
  return 0;
}

int ForEachName(int folder, const std::function<bool(const char* name)>& visit) {
  // On the heap, left as it is: the kernel writes only what it returns, and the rest of the
  // buffer is never touched. On the stack, every page of it would be probed on the way in.
  constexpr std::size_t kEntriesSize = 32768;
  const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kEntriesSize);
  char* const entries = buffer.get();
  for (;;) {
    const ssize_t got = ::getdents64(folder, entries, kEntriesSize);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t at = 0; at < got;) {
      const char* entry = entries + at;
      unsigned short length = 0;
      std::memcpy(&length, entry + offsetof(dirent64, d_reclen), sizeof length);
      if (visit(entry + offsetof(dirent64, d_name))) return 0;
      at += length;
    }
  }
}

int NamesIn(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  return ForEachName(fd.get(), [&names](const char* name) {
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) names.emplace_back(name);
    return false;
  });
}

int SyncData(int fd) {
  const int error = Retried([fd] { return ::fdatasync(fd); });
  if (error == 0) crash_state::DataFlushed(fd, false);
  return error;
}

int SyncFile(int fd) {
  const int error = Retried([fd] { return ::fsync(fd); });
  if (error == 0) crash_state::DataFlushed(fd, true);
  return error;
}

int SyncFolder(const std::filesystem::path& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  if (const int fault = crash_state::FolderFlushFault(folder)) return fault;
  const int error = Retried([&fd] { return ::fsync(fd.get()); });
  if (error == 0) crash_state::FolderFlushed(folder);
  return error;
}

bool NamesOpenFile(int fd, const std::filesystem::path& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool IsMissingCall(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }

bool IsMissingHardLink(int error) {
  return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
}

int OpenUnnamedFile(const std::string& folder, UniqueFd& fd) {
  if (const int refused = crash_state::Refusal("O_TMPFILE")) return refused;
  fd = UniqueFd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  return fd.get() >= 0 ? 0 : errno;
}

int CreateUniqueFile(std::string& path, UniqueFd& fd) {
  fd = UniqueFd(::mkostemp(path.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno;
  crash_state::NameAdded(path);
  return 0;
}

int LinkName(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int refused = crash_state::Refusal("link")) return refused;
  const int error = Retried([&] { return ::link(from.c_str(), to.c_str()); });
  if (error == 0) crash_state::NameAdded(to);
  return error;
}

int LinkOpenFile(int fd, const std::filesystem::path& to) {
  if (const int refused = crash_state::Refusal("link")) return refused;
  // A file without a name gets one through its entry in /proc, which needs no privilege.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int error = Retried(
      [&] { return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW); });
  if (error == ENOENT) {
    error = Retried([&] { return ::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH); });
  }
  if (error == 0) crash_state::NameAdded(to);
  return error;
}

int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int refused = crash_state::Refusal("renameat2")) return refused;
  crash_state::NameToGo(from);
  const int error = Retried(
      [&] { return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE); });
  if (error == 0) {
    crash_state::Renamed(from, to);
  } else {
    crash_state::NameGone(from, false);
  }
  return error;
}

int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  crash_state::NameToGo(to);
  crash_state::NameToGo(from);
  const int error = Retried([&] { return ::rename(from.c_str(), to.c_str()); });
  crash_state::NameGone(to, error == 0);
  if (error == 0) {
    crash_state::Renamed(from, to);
  } else {
    crash_state::NameGone(from, false);
  }
  return error;
}

int RemoveName(const std::filesystem::path& path) {
  crash_state::NameToGo(path);
  const int error = Retried([&] { return ::unlink(path.c_str()); });
  crash_state::NameGone(path, error == 0);
  return error;
}

}  // namespace kartiva::linux_os
