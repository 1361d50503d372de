#pragma once

// The Windows registry code for a failed system call, so that the Linux registry and the
// file-manager entries fail with the codes a Windows caller knows.

#include "menorix/registry.h"

namespace kartiva::linux_os {

// The registry code for a failed call's errno (the local store has its own codes).
[[nodiscard]] RegResult RegResultForErrno(int error);

}  // namespace kartiva::linux_os
