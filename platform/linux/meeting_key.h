#pragma once

// What decides which instances of a tool meet: only those that would do the same work, into the
// same store and shown the same way.

#include <array>
#include <string>
#include <string_view>

namespace kartiva::linux_os {

// The variables of a process's environment that decide where its documents go (the store's root)
// and how it shows them (the UI mode, the display).
inline constexpr std::array<std::string_view, 7> kMeetingVariables{
    "KARTIVA_HOME", "XDG_DATA_HOME",   "HOME",           "KARTIVA_UI",
    "DISPLAY",      "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

// Where the instances of the tools meet, and under which key.
struct MeetingPlace {
  std::string runtimeFolder{};  // the user's runtime folder (XDG_RUNTIME_DIR), or empty
  // Where a private folder "kartiva-<uid>" is made when the runtime folder is not to be had:
  // "/tmp", shared with every other user.
  std::string sharedParent{};
  // The user's home, where a private ".cache/kartiva-<host>" is made when another user holds the
  // name in sharedParent.
  std::string home{};
  // Only instances with the same key meet or share a start question; empty in tests.
  std::string key{};
};

// This process's meeting place: its key is made of the store's root as the store resolves it (an
// absolute path) and the UI and display variables.
MeetingPlace ThisProcessesMeetingPlace();

// `base` with the key of `place`: "kartiva-Mappix" becomes "kartiva-Mappix-<key>".
std::string KeyedName(const MeetingPlace& place, const std::string& base);

}  // namespace kartiva::linux_os
