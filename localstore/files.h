#pragma once

// The file work of the local stand-in, on POSIX calls so that every failure maps to a code and
// nothing half-written ever shows under a document's name.

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

// The store's code for a failed system call with this errno.
ErrorCode CodeForErrno(int error, ErrorCode otherwise);

// Opens a file to read it: missing gives kFileNotFound; a folder, a device, a pipe or a file that
// may not be read gives kFileUnreadable. Never blocks on a pipe.
ErrorCode OpenRegularFile(const std::filesystem::path& path, UniqueFd& file);

// Copies the open file into `folder` under the next free name "NNNNNNNN.001". The copy is written
// under a hidden temporary name (flushed to disk when `durable`) and only then published under its
// own name, so that no reader or crash ever meets a half-written document, and many processes
// adding at once never take the same name.
ErrorCode CopyAsDocument(int source, const std::filesystem::path& folder, bool durable,
                         std::filesystem::path& document);

// Replaces `path` with `content` in one step (write a temporary, flush, rename).
ErrorCode WriteFileAtomically(const std::filesystem::path& path, const std::string& content);

// Flushes a folder's entries to disk, after a file in it was created, renamed or removed.
ErrorCode SyncFolder(const std::filesystem::path& folder);

// Reads a whole small file; false when it cannot be read.
bool ReadSmallFile(const std::filesystem::path& path, std::string& content);

}  // namespace kartiva::localstore
