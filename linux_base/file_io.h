#pragma once

// The one layer through which the store and the adapters read, write, name and flush files:
// interruptions (EINTR) are retried, short reads and writes are completed, a folder that cannot be
// read to its end is an error and not its end, and every flush goes through here, so that the test
// build can count flushes and, at a crash point, throw away what a power cut would lose
// (crash_state.h). Each returns 0 or the errno of the call that failed.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "linux_base/unique_fd.h"

namespace kartiva::linux_os {

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
[[nodiscard]] int NamesIn(const std::string& folder, std::vector<std::string>& names);
// Hands each name in the open folder `folder` ("." and ".." too) to `visit`, until `visit` says
// true or the folder ends. The entries are read straight from the kernel: a DIR stream would first
// ask for the folder's facts, one system call more for every folder read.
[[nodiscard]] int ForEachName(int folder, const std::function<bool(const char* name)>& visit);

// Flushes a file's data (and what is needed to read it back, such as its size) to disk.
[[nodiscard]] int SyncData(int fd);
// Flushes a file's data and all its metadata (its permissions too).
[[nodiscard]] int SyncFile(int fd);
// Flushes a folder's entries to disk, after a name in it was created, renamed or removed.
[[nodiscard]] int SyncFolder(const std::filesystem::path& folder);

// Where the store's folders lie on NFS, on a FUSE mount (gvfs, sshfs, rclone, bindfs) or on FAT,
// some of the calls below are missing. None of them stands in for another: where one is missing,
// the caller decides what else does its work, on these failures alone.
//
// Whether a failure says that the file system lacks the call or this flag of it (RENAME_NOREPLACE,
// O_TMPFILE), rather than that the call failed.
bool IsMissingCall(int error);
// Whether a failed hard link may say that the file system cannot make hard links at all: FAT and
// exFAT answer EPERM (which also refuses a link to someone else's file), some SMB and FUSE mounts
// EOPNOTSUPP or ENOSYS.
bool IsMissingHardLink(int error);

// Opens a new file without a name in `folder` (O_TMPFILE), to read and write.
[[nodiscard]] int OpenUnnamedFile(const std::string& folder, UniqueFd& fd);
// Makes and opens a new file under `path`, whose last six characters "XXXXXX" become the ones
// that make it a name nothing bears yet (mkostemp).
[[nodiscard]] int CreateUniqueFile(std::string& path, UniqueFd& fd);

// Whether `path` names the file open as `fd` now (not another file given that name since, nor a
// symbolic link).
bool NamesOpenFile(int fd, const std::filesystem::path& path);

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

}  // namespace kartiva::linux_os
