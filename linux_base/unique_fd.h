#pragma once

// An owned file descriptor, closed exactly once.

#include <unistd.h>

#include "core/unique_handle.h"

namespace kartiva::linux_os {

struct FdTraits {
  using Handle = int;
  static constexpr Handle Null() noexcept { return -1; }
  static void Close(Handle fd) noexcept { ::close(fd); }
};

using UniqueFd = UniqueHandle<FdTraits>;

}  // namespace kartiva::linux_os
