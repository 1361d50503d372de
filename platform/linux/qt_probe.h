#pragma once

// Asks, before a program opens the Qt module, whether Qt can show it windows here. Qt aborts a
// process whose platform cannot start (a bogus QT_QPA_PLATFORM, linuxfb without a frame buffer),
// and on platforms that show nothing (offscreen, minimal) a box waits forever for an answer that
// nobody can give; either way the console must serve instead.

#include <chrono>
#include <optional>
#include <string>

namespace kartiva::linux_os {

// How long a start of Qt may take before it counts as hanging.
inline constexpr std::chrono::milliseconds kQtProbeTimeout{5000};

// Whether the module `moduleFile` starts Qt on a platform that shows windows to a person. Asked
// in a child process with no terminal output, so that neither an abort nor a hang reaches the
// program: a child that dies, answers no or outlasts `timeout` (then killed) means no. A yes
// comes with the file of the Qt library that the module loaded ("" when the child could not tell).
std::optional<std::string> QtShowsWindows(const std::string& moduleFile,
                                          std::chrono::milliseconds timeout);

}  // namespace kartiva::linux_os
