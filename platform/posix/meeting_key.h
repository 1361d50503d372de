#pragma once

// What decides which instances of a tool meet: only those that would do the same work, into the
// same store and shown the same way.

#include <array>
#include <string_view>

namespace kartiva::posix {

// The variables of a process's environment that decide where its documents go (the store's root)
// and how it shows them (the UI mode, the display).
inline constexpr std::array<std::string_view, 7> kMeetingVariables{
    "KARTIVA_HOME", "XDG_DATA_HOME",   "HOME",           "KARTIVA_UI",
    "DISPLAY",      "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

}  // namespace kartiva::posix
