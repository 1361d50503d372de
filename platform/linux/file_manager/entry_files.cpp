#include "platform/linux/file_manager/entry_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "linux_base/atomic_file.h"
#include "linux_base/file_io.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/errno_result.h"
#include "platform/linux/file_manager/file_manager_entries.h"

namespace kartiva::linux_os {
namespace {

constexpr std::size_t kOwnFileLimit =
    std::size_t{16} * 1024;  // far more than any file written here

}  // namespace

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
  if (file.get() < 0 || ReadUpTo(file.get(), kOwnFileLimit, state.content) != 0) return state;
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
  if (file.get() < 0) return errno == ENOENT ? kErrorSuccess : RegResultForErrno(errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return RegResultForErrno(errno);
  if (!S_ISREG(info.st_mode)) return kErrorAccessDenied;
  if (int error = ReadUpTo(file.get(), limit, content)) return RegResultForErrno(error);
  return content.size() > limit ? kErrorFileTooLarge : kErrorSuccess;
}

RegResult ReplaceFile(const std::filesystem::path& path, const std::string& content, mode_t mode) {
  const int error = ReplaceFileAtomically(path, content, mode);
  return error == 0 ? kErrorSuccess : RegResultForErrno(error);
}

}  // namespace kartiva::linux_os
