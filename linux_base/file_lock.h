#pragma once

// The exclusive flock of an open file. A lock dies with its process, so a killed process never
// leaves one behind.

#include <chrono>

namespace kartiva::linux_os {

// Waits as long as it takes; 0 or the errno of the failed call.
[[nodiscard]] int LockExclusively(int fd);

// Waits at most `wait` while another process holds the lock; false when it did not get it.
[[nodiscard]] bool LockWithin(int fd, std::chrono::milliseconds wait);

}  // namespace kartiva::linux_os
