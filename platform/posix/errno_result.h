#pragma once

// The Windows registry code for a failed system call, so that the Linux registry and the
// file-manager entries fail with the codes a Windows caller knows.

#include "menorix/registry.h"

namespace kartiva::posix {

// The code for a failed call's errno.
[[nodiscard]] RegResult CodeForErrno(int error);

}  // namespace kartiva::posix
