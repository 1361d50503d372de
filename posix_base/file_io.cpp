#include "posix_base/file_io.h"

#include <unistd.h>

#include <cerrno>

namespace kartiva::posix {

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

}  // namespace kartiva::posix
