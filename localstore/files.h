#pragma once

// The file work of the local stand-in, on POSIX calls so that every failure maps to a code and
// nothing half-written ever shows under a document's name.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include "core/error.h"

namespace kartiva::localstore {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  int get() const { return fd_; }
  int release();

 private:
  int fd_ = -1;
};

// How long an operation waits for a lock that another live process holds, before it gives up
// with a code: long enough for any store to finish, short enough that nobody waits in silence.
inline constexpr std::chrono::seconds kLockWait{10};

// The store's code for a failed system call with this errno.
ErrorCode CodeForErrno(int error, ErrorCode otherwise);

// Opens a file to read it: missing gives kFileNotFound; a folder, a device, a pipe or a file that
// may not be read gives kFileUnreadable. Never blocks on a pipe.
ErrorCode OpenRegularFile(const std::filesystem::path& path, UniqueFd& file);

// True when both paths name the same file (not following a last symbolic link).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// True when the open file is a regular file.
bool IsRegularFile(int fd);

// Takes the exclusive lock of an open file, waiting at most `wait` while another process holds
// it. A lock dies with its process, so a killed process never leaves one behind.
bool LockFile(int fd, std::chrono::milliseconds wait);

// Replaces `path` with `content` in one step (write a temporary, flush, rename).
ErrorCode WriteFileAtomically(const std::filesystem::path& path, const std::string& content);

// Flushes a folder's entries to disk, after a file in it was created, renamed or removed.
ErrorCode SyncFolder(const std::filesystem::path& folder);

// Reads a whole small file; false when it cannot be read, is not a regular file or is larger than
// `limit` bytes.
bool ReadSmallFile(const std::filesystem::path& path, std::size_t limit, std::string& content);

// Writes all of `data`, going on after short writes and interruptions.
ErrorCode WriteAll(int fd, const char* data, std::size_t size);

}  // namespace kartiva::localstore
