#pragma once

// The classes root of the Windows registry (HKEY_CLASSES_ROOT) behind the registration's registry
// port, through the wide registry functions. Every result is the function's own LONG.
//
// Writing a key through HKEY_CLASSES_ROOT that does not exist yet for the user lands in
// HKEY_LOCAL_MACHINE\Software\Classes, which only an administrator may change; other users get
// ERROR_ACCESS_DENIED, which the registration reports.

#include <windows.h>

#include <utility>

#include "configurator/registry.h"

namespace kartiva::win32 {

// Owns an open registry key and closes it with RegCloseKey.
class UniqueHKey {
 public:
  UniqueHKey() = default;
  UniqueHKey(UniqueHKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  UniqueHKey& operator=(UniqueHKey&& other) noexcept {
    if (this != &other) {
      reset();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;
  ~UniqueHKey() { reset(); }

  HKEY get() const { return key_; }
  // The slot for a function that opens a key; closes what was held.
  HKEY* Receive() {
    reset();
    return &key_;
  }
  // Gives the open key up to a new owner.
  HKEY release() { return std::exchange(key_, nullptr); }
  void reset() {
    if (key_) RegCloseKey(std::exchange(key_, nullptr));
  }

 private:
  HKEY key_ = nullptr;
};

class WindowsRegistry final : public Registry {
 private:
  RegResult DoCreateKey(std::string_view path) override;
  RegResult DoSetDefaultValue(std::string_view path, std::string_view value) override;
  RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override;
  RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override;
  RegResult DoCloseKey(std::uintptr_t handle) noexcept override;
};

}  // namespace kartiva::win32
