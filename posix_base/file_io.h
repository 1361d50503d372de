#pragma once

// The one layer through which the store and the adapters read, write, name and flush files:
// interruptions (EINTR) are retried, short reads and writes are completed, a folder that cannot be
// read to its end is an error and not its end, and every flush goes through here, so that the test
// build can count flushes and, at a crash point, throw away what a power cut would lose
// (crash_state.h). Each returns 0 or the errno of the call that failed.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kartiva::posix {

// Writes all `size` bytes of `data`; EIO when the file takes no more bytes without saying why.
[[nodiscard]] int WriteAll(int fd, const char* data, std::size_t size);
// The same at `offset`, leaving the file position alone.
[[nodiscard]] int WriteAllAt(int fd, const char* data, std::size_t size, off_t offset);

// Appends what the file holds up to its end to `content`, stopping early once `content` holds
// more than `limit` bytes, so that one byte over the limit is enough to tell a file that is too
// large.
[[nodiscard]] int ReadUpTo(int fd, std::size_t limit, std::string& content);
// Reads `size` bytes at `offset` into `data`, fewer only at the end of the file: `got` says how
// many.
[[nodiscard]] int ReadAt(int fd, char* data, std::size_t size, off_t offset, std::size_t& got);

// The names in a folder, without "." and ".."; ENOENT when there is no such folder.
[[nodiscard]] int NamesIn(const std::filesystem::path& folder, std::vector<std::string>& names);

// Flushes a file's data (and what is needed to read it back, such as its size) to disk.
[[nodiscard]] int SyncData(int fd);
// Flushes a file's data and all its metadata (its permissions too).
[[nodiscard]] int SyncFile(int fd);
// Flushes a folder's entries to disk, after a name in it was created, renamed or removed.
[[nodiscard]] int SyncFolder(const std::filesystem::path& folder);

// Names and removals of names, as the crash-state layer of the test build sees them.
[[nodiscard]] int LinkName(const std::filesystem::path& from, const std::filesystem::path& to);
// Gives the open file `fd`, which may have no name yet, the name `to`.
[[nodiscard]] int LinkOpenFile(int fd, const std::filesystem::path& to);
// Renames without ever replacing: EEXIST when `to` is taken.
[[nodiscard]] int RenameNoReplace(const std::filesystem::path& from,
                                  const std::filesystem::path& to);
// Renames over whatever bears `to`.
[[nodiscard]] int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);
[[nodiscard]] int RemoveName(const std::filesystem::path& path);

}  // namespace kartiva::posix
