#pragma once

// The file work of the local stand-in, on POSIX calls so that every failure maps to a code and
// nothing half-written ever shows under a document's name.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include "core/error.h"
#include "posix_base/unique_fd.h"

namespace kartiva::localstore {

// The store's files are owned as every POSIX descriptor is.
using posix::UniqueFd;

// How long an operation waits for a lock that another live process holds, before it gives up
// with a code: long enough for any store to finish, short enough that nobody waits in silence.
inline constexpr std::chrono::seconds kLockWait{10};

// The store's code for a failed system call with this errno.
[[nodiscard]] ErrorCode CodeForErrno(int error, ErrorCode otherwise);
// The store's code for the outcome of a call that gives 0 or an errno: 0 stays 0.
[[nodiscard]] ErrorCode CodeForResult(int error);

// The code of the last flush of work that is done and cannot be undone: 0, or kNotConfirmed
// when the disk did not confirm it (`error`, the errno of that flush, tried twice).
[[nodiscard]] ErrorCode Confirmed(int error);

// Opens a file to read it: missing gives kFileNotFound; a folder, a device, a pipe or a file that
// may not be read gives kFileUnreadable. Never blocks on a pipe.
[[nodiscard]] ErrorCode OpenRegularFile(const std::filesystem::path& path, UniqueFd& file);

// True when both paths name the same file (not following a last symbolic link).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// True when the open file is a regular file.
bool IsRegularFile(int fd);

// Reads a whole small file; false when it cannot be read, is not a regular file or is larger than
// `limit` bytes.
bool ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& content);

}  // namespace kartiva::localstore
