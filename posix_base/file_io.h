#pragma once

// Whole reads and writes on an open descriptor, going on after short transfers and interruptions.
// Each returns 0 or the errno of the call that failed.

#include <cstddef>
#include <string>

namespace kartiva::posix {

// Writes all `size` bytes of `data`; EIO when the file takes no more bytes without saying why.
[[nodiscard]] int WriteAll(int fd, const char* data, std::size_t size);

// Appends what the file holds up to its end to `content`, stopping early once `content` holds
// more than `limit` bytes, so that one byte over the limit is enough to tell a file that is too
// large.
[[nodiscard]] int ReadUpTo(int fd, std::size_t limit, std::string& content);

}  // namespace kartiva::posix
