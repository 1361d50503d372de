#pragma once

// Replacing a file so that a reader, or whoever looks after a crash, finds the old file or the
// new one and never a half-written one.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "linux_base/unique_fd.h"

namespace kartiva::linux_os {

// How the hidden name begins under which a new file is written beside the one it replaces. Such a
// file is locked while its writer lives, so that a clean-up after a crash may remove it once it
// can take the lock.
inline constexpr std::string_view kIncomingPrefix = ".incoming-";

// Makes a new file in `folder` under such a hidden name, open in `fd` and locked; `path` receives
// the name. A clean-up may take a new file in the instant before its lock, as if its writer were
// dead (more so on FUSE, where each name of a file has a lock of its own): the name is checked
// once the lock is held, and another file made where it is gone. 0 or the errno of the failed
// call.
[[nodiscard]] int CreateHiddenFile(const std::filesystem::path& folder, UniqueFd& fd,
                                   std::string& path);

// Replaces `path` with `content` and the permission bits `mode`: written beside it under a hidden
// name, flushed, renamed over it, and the folder flushed too. Gives 0 once the file is replaced,
// else the errno of the call that failed, and the file is as it was. Once replaced, a folder
// flush that fails is tried again; should it fail again, the replacement stands and
// `unconfirmed` (where given) receives its errno: the disk did not confirm the new name.
[[nodiscard]] int ReplaceFileAtomically(const std::filesystem::path& path,
                                        const std::string& content, mode_t mode,
                                        int* unconfirmed = nullptr);

// Flushes `folder`, once more should the first flush fail: for a name given after which there is
// no going back. 0 or the errno of the second failure.
[[nodiscard]] int ConfirmFolder(const std::filesystem::path& folder);

}  // namespace kartiva::linux_os
