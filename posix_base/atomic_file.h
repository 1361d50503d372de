#pragma once

// Replacing a file so that a reader, or whoever looks after a crash, finds the old file or the
// new one and never a half-written one. Each returns 0 or the errno of the call that failed.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace kartiva::posix {

// How the hidden name begins under which a new file is written beside the one it replaces. Such a
// file is locked while its writer lives, so that a clean-up after a crash may remove it once it
// can take the lock.
inline constexpr std::string_view kIncomingPrefix = ".incoming-";

// Replaces `path` with `content` and the permission bits `mode`: written beside it under a hidden
// name, flushed, renamed over it, and the folder flushed too.
[[nodiscard]] int ReplaceFileAtomically(const std::filesystem::path& path,
                                        const std::string& content, mode_t mode);

// Flushes a folder's entries to disk, after a file in it was created, renamed or removed.
[[nodiscard]] int SyncFolder(const std::filesystem::path& folder);

}  // namespace kartiva::posix
