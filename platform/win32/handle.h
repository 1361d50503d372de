#pragma once

#include <windows.h>

#include "core/unique_handle.h"

namespace kartiva::win32 {

// Owns a kernel object handle (a mutex, a file mapping, an event) and closes it with CloseHandle.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr Handle Null() noexcept { return nullptr; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

// Owns a handle from CreateFileW or CreateNamedPipeW, which stand for "none" with
// INVALID_HANDLE_VALUE rather than null.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Null() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) noexcept { CloseHandle(handle); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// Owns memory that a Win32 call allocated for its caller to free with LocalFree (a SID string, a
// security descriptor).
template <typename Pointer>
struct LocalMemoryTraits {
  using Handle = Pointer;
  static constexpr Handle Null() noexcept { return nullptr; }
  static void Close(Handle memory) noexcept { LocalFree(memory); }
};
template <typename Pointer>
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<Pointer>>;
using UniqueSecurityDescriptor = UniqueLocalMemory<PSECURITY_DESCRIPTOR>;

}  // namespace kartiva::win32
