#pragma once

#include <windows.h>

#include "core/unique_handle.h"

namespace kartiva::win32 {

// Owns a kernel object handle (a mutex, a file mapping) and closes it with CloseHandle.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr Handle Null() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace kartiva::win32
