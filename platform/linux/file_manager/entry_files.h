#pragma once

// The file work of publishing context-menu entries: telling the files written here from the
// user's own without ever blocking on what is not a plain file, and replacing a file in one step.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

#include "menorix/registry.h"

namespace kartiva::linux_os {

enum class FileKind {
  Missing,
  Ours,     // a regular file that carries the marker
  Foreign,  // anything else: the user's own file, a link, a folder, a pipe, an unreadable file
};

struct FileState {
  FileKind kind = FileKind::Missing;
  std::string content;  // of a file of ours
  mode_t mode = 0;      // its permission bits
};

// What is at `path`; the link itself when it is a symbolic link.
FileState InspectFile(const std::filesystem::path& path);

inline constexpr RegResult kErrorFileTooLarge = 223;

// Reads the regular file at `path` (following links); `content` is empty when there is no file.
// A file of more than `limit` bytes fails with kErrorFileTooLarge; a pipe, a device or a folder
// is refused with kErrorAccessDenied, without waiting on it.
RegResult ReadRegularFile(const std::filesystem::path& path, std::size_t limit,
                          std::string& content);

// Replaces `path` with `content` and the permission bits `mode`: written beside it under a hidden
// name, flushed, then renamed over it, so a reader sees the old file or the new one.
RegResult ReplaceFile(const std::filesystem::path& path, const std::string& content, mode_t mode);

}  // namespace kartiva::linux_os
