#pragma once

#include <windows.h>

#include "core/unique_handle.h"

namespace kartiva::win32 {

// Owns a kernel object handle (a mutex, a file mapping, an event, a file, a pipe) and closes it
// with CloseHandle. Most calls that make one say "none" with null, but CreateFileW and
// CreateNamedPipeW with INVALID_HANDLE_VALUE: the owner takes both as none, so that one type
// serves every call and no caller has to pick the right one.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr Handle Null() noexcept { return nullptr; }
  static Handle Adopt(Handle handle) noexcept {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// Owns memory that a Win32 call allocated for its caller to free with LocalFree (a SID string, a
// security descriptor).
template <typename Pointer>
using UniqueLocalMemory = UniqueHandle<ReleasedBy<Pointer, LocalFree>>;
using UniqueSecurityDescriptor = UniqueLocalMemory<PSECURITY_DESCRIPTOR>;

}  // namespace kartiva::win32
