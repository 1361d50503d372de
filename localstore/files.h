#pragma once

// The file work of the local stand-in, on POSIX calls so that every failure maps to a code and
// nothing half-written ever shows under a document's name.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.h"
#include "linux_base/unique_fd.h"

namespace kartiva::localstore {

// The store's files are owned as every POSIX descriptor is.
using linux_os::UniqueFd;

// How long an operation waits for a lock that another live process holds, before it gives up
// with a code: long enough for any store to finish, short enough that nobody waits in silence.
inline constexpr std::chrono::seconds kLockWait{10};

// The store's code for a failed system call with this errno.
[[nodiscard]] ErrorCode CodeForErrno(int error, ErrorCode otherwise);
// The store's code for the outcome of a call that gives 0 or an errno: 0 stays 0.
[[nodiscard]] ErrorCode CodeForResult(int error);

// Writes a line on standard error that says what a file system lacks, with the code that it
// explains: once per code and process however many files a batch brings, since the code alone
// would not tell the user what to change.
void SayOnce(ErrorCode code, const std::string& line);
// The store's code for a hard link that failed in `folder` (a basket or an archive): where its
// file system cannot make hard links at all, kNoHardLinks, said with the folder's name, since no
// store can work there; else as CodeForErrno.
[[nodiscard]] ErrorCode CodeForLink(int error, const std::filesystem::path& folder);
// 0 where files in `folder` can have a second name, else the code of what stops them, as
// CodeForLink gives it: a hard link tried on a hidden file of its own in its in-flight folder.
[[nodiscard]] ErrorCode HardLinksWork(const std::filesystem::path& folder);

// The code of the last flush of work that is done and cannot be undone: 0, or kNotConfirmed
// when the disk did not confirm it (`error`, the errno of that flush, tried twice).
[[nodiscard]] ErrorCode Confirmed(int error);

// Opens a file to read it: missing gives kFileNotFound; a folder, a device, a pipe or a file that
// may not be read gives kFileUnreadable. Never blocks on a pipe.
[[nodiscard]] ErrorCode OpenRegularFile(const std::string& path, UniqueFd& file);

// True when both paths name the same file (not following a last symbolic link).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Opens `path` and takes its lock where nobody holds it: false while another open file holds it
// (a live process's, or on a local file system this process's own through another descriptor),
// or when the name names another file once locked.
bool LockByName(const std::filesystem::path& path, UniqueFd& fd);

// Whether anything at all bears the name: a file, a link (dangling or not), a folder, a pipe; or
// it cannot be told.
bool NameTaken(const std::string& path);

// True when the open file is a regular file.
bool IsRegularFile(int fd);

// Reads a whole small file; false when it cannot be read, is not a regular file or is larger than
// `limit` bytes.
bool ReadSmallFile(const std::string& path, std::size_t limit, std::string& content);

// `name` in `folder`, joined as a string for the system calls that take it, as
// std::filesystem::path's operator/ joins them. A path of the store that every run builds is
// built so: a std::filesystem::path takes itself apart into its parts whenever one is made.
std::string PathIn(std::string_view folder, std::string_view name);
// The last name of `path`, what follows its last slash, as std::filesystem::path::filename() has
// it.
std::string_view LastName(std::string_view path);

}  // namespace kartiva::localstore
