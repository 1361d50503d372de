#include "localstore/kernel_copy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "linux_base/file_io.h"
#include "localstore/codes.h"
#include "localstore/files.h"

namespace kartiva::localstore {
namespace {

// Copies by hand what the kernel cannot copy between these two files; -1 with errno set.
ssize_t CopyChunkByHand(int source, int target, off_t offset, std::size_t length) {
  std::vector<char> buffer(std::min<std::size_t>(length, std::size_t{1} << 20));
  std::size_t got = 0;
  int error = linux_os::ReadAt(source, buffer.data(), buffer.size(), offset, got);
  if (error == 0) error = linux_os::WriteAllAt(target, buffer.data(), got, offset);
  errno = error;
  return error == 0 ? static_cast<ssize_t>(got) : -1;
}

bool KernelCannotCopy(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Copies the bytes [from, to) to the same place in `target`. `end` is where the source ended,
// should it have been shortened meanwhile.
[[nodiscard]] ErrorCode CopyRange(int source, int target, off_t from, off_t to, off_t& end) {
  bool inKernel = true;
  off_t offset = from;
  while (offset < to) {
    const auto length = static_cast<std::size_t>(to - offset);
    off_t in = offset;
    off_t out = offset;
    const ssize_t copied = inKernel ? ::copy_file_range(source, &in, target, &out, length, 0)
                                    : CopyChunkByHand(source, target, offset, length);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && inKernel && KernelCannotCopy(errno)) {
      inKernel = false;
      continue;
    }
    if (copied < 0) return CodeForErrno(errno, kIoError);
    if (copied == 0) break;
    offset += copied;
  }
  end = offset;
  return 0;
}

}  // namespace

ErrorCode CopyFileData(int source, int target) {
  struct stat info {};
  if (::fstat(source, &info) != 0) return kFileUnreadable;
  // A file with a block for every byte has no hole to keep: it is copied as one range, without
  // asking where its data lies, and the copy's length is its own (the target is empty).
  if (static_cast<off_t>(info.st_blocks) * 512 >= info.st_size) {
    off_t end = 0;
    return CopyRange(source, target, 0, info.st_size, end);
  }
  off_t position = 0;
  while (position < info.st_size) {
    off_t data = ::lseek(source, position, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // only a hole is left
    off_t hole = data < 0 ? info.st_size : ::lseek(source, data, SEEK_HOLE);
    if (data < 0) data = position;  // no hole support: copy it all
    if (hole < 0 || hole > info.st_size) hole = info.st_size;
    off_t end = 0;
    if (ErrorCode code = CopyRange(source, target, data, hole, end)) return code;
    if (end < hole) return ::ftruncate(target, end) == 0 ? 0 : CodeForErrno(errno, kIoError);
    position = hole;
  }
  // A hole at the end has no data to copy, only a length.
  return ::ftruncate(target, info.st_size) == 0 ? 0 : CodeForErrno(errno, kIoError);
}

}  // namespace kartiva::localstore
