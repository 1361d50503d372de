#pragma once

// The classes root of the Windows registry (HKEY_CLASSES_ROOT) behind the registration's registry
// port, through the wide registry functions. Every result is the function's own LONG.
//
// Writing a key through HKEY_CLASSES_ROOT that does not exist yet for the user lands in
// HKEY_LOCAL_MACHINE\Software\Classes, which only an administrator may change; other users get
// ERROR_ACCESS_DENIED, which the registration reports.

#include <windows.h>

#include "configurator/registry.h"
#include "core/unique_handle.h"

namespace kartiva::win32 {

// Owns an open registry key and closes it with RegCloseKey.
struct HKeyTraits {
  using Handle = HKEY;
  static constexpr Handle Null() noexcept { return nullptr; }
  static void Close(Handle key) noexcept { RegCloseKey(key); }
};
using UniqueHKey = UniqueHandle<HKeyTraits>;

class WindowsRegistry final : public Registry {
 private:
  RegResult DoCreateKey(std::string_view path) override;
  RegResult DoSetDefaultValue(std::string_view path, std::string_view value) override;
  RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override;
  RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override;
  RegResult DoCloseKey(std::uintptr_t handle) noexcept override;
};

}  // namespace kartiva::win32
