#pragma once

// The user's base folders, as freedesktop.org's XDG base directories name them. A relative
// XDG_*_HOME counts as unset, as those rules say; so does an empty one.

#include <filesystem>

namespace kartiva::linux_os {

// The user's home folder: $HOME, else the password database's entry.
std::filesystem::path HomeFolder();
// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path DataHome();
// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path ConfigHome();
// $XDG_RUNTIME_DIR, else empty: there is nothing to fall back to.
std::filesystem::path RuntimeFolder();

}  // namespace kartiva::linux_os
