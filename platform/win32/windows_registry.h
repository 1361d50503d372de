#pragma once

// A classes root of the Windows registry behind the registration's registry port, through the
// wide registry functions: HKEY_CLASSES_ROOT itself, or the user's or the machine's own classes
// (a predefined key and the path "Software\Classes" below it). Every result is the function's
// own LONG.
//
// Writing a key through HKEY_CLASSES_ROOT that does not exist yet for the user lands in
// HKEY_LOCAL_MACHINE\Software\Classes, which only an administrator may change; other users get
// ERROR_ACCESS_DENIED, and the registration then writes to HKEY_CURRENT_USER\Software\Classes.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/unique_handle.h"
#include "menorix/registry.h"

namespace kartiva::win32 {

// Owns an open registry key and closes it with RegCloseKey.
using UniqueHKey = UniqueHandle<ReleasedBy<HKEY, RegCloseKey>>;

class WindowsRegistry final : public Registry {
 public:
  // Paths lead from `base` below the predefined key `root`; an empty base is the root itself.
  explicit WindowsRegistry(HKEY root = HKEY_CLASSES_ROOT, std::wstring base = {})
      : root_(root), base_(std::move(base)) {}

  // The user's own classes, and the machine's.
  static WindowsRegistry UserClasses() { return WindowsRegistry(HKEY_CURRENT_USER, kClasses); }
  static WindowsRegistry MachineClasses() { return WindowsRegistry(HKEY_LOCAL_MACHINE, kClasses); }

 private:
  static constexpr const wchar_t* kClasses = L"Software\\Classes";

  // The path from the root as the wide functions take it, or nothing when they would misread it.
  std::optional<std::wstring> FullPath(std::string_view path) const;
  [[nodiscard]] LONG CreateForSetting(std::string_view path, UniqueHKey& key) const;

  [[nodiscard]] RegResult DoCreateKey(std::string_view path) override;
  [[nodiscard]] RegResult DoSetValue(std::string_view path, std::string_view name,
                                     std::string_view value) override;
  [[nodiscard]] RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override;
  [[nodiscard]] RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override;
  [[nodiscard]] RegResult DoCloseKey(std::uintptr_t handle) noexcept override;

  HKEY root_;
  std::wstring base_;
};

}  // namespace kartiva::win32
