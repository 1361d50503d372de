#pragma once

// The registry as the context-menu registration reaches it: the operations it needs on a classes
// root, each returning the Windows result code. Paths are relative to that root, names separated
// by backslashes; "" is the root itself.

#include <cstdint>
#include <string>
#include <string_view>

namespace kartiva {

// A Windows registry result code (a LONG); 0 means success.
using RegResult = std::int32_t;

inline constexpr RegResult kErrorSuccess = 0;
inline constexpr RegResult kErrorFileNotFound = 2;  // no key of that name
inline constexpr RegResult kErrorPathNotFound = 3;
inline constexpr RegResult kErrorAccessDenied = 5;   // also: deleting a key that has sub-keys
inline constexpr RegResult kErrorInvalidHandle = 6;  // a closed key, or one of another registry
inline constexpr RegResult kErrorDiskFull = 112;
inline constexpr RegResult kErrorBadPathname =
    161;  // an empty name, or one with a control character
inline constexpr RegResult kErrorRegistryCorrupt = 1015;
inline constexpr RegResult kErrorRegistryIoFailed = 1016;
inline constexpr RegResult kErrorKeyDeleted = 1018;  // the open key was deleted meanwhile

class Registry;

// An open key. Move-only; closes itself when it goes out of scope, so every key that is opened is
// closed on every path. The registry that opened it must outlive it.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey();

  bool IsOpen() const { return owner_ != nullptr; }
  // Closes the key (RegCloseKey); kErrorInvalidHandle when none is open.
  [[nodiscard]] RegResult Close() noexcept;

 private:
  friend class Registry;
  RegistryKey(Registry& owner, std::uintptr_t handle) : owner_(&owner), handle_(handle) {}

  Registry* owner_ = nullptr;
  std::uintptr_t handle_ = 0;
};

// The classes root. An implementation supplies the Do* operations; a handle is its own number for
// an open key (an HKEY on Windows), which RegistryKey owns on the caller's side.
class Registry {
 public:
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;
  virtual ~Registry() = default;

  // Creates the key with every missing key along its path, or opens it if it exists
  // (RegCreateKey); the key is closed again at once.
  [[nodiscard]] RegResult CreateKey(std::string_view path);
  // Sets the default REG_SZ value of the key, creating the key first if needed (RegSetValue).
  [[nodiscard]] RegResult SetDefaultValue(std::string_view path, std::string_view value);
  // Sets the REG_SZ value `name` of the key, creating the key first if needed (RegSetValueEx).
  // Value names compare without regard to case; "" names the default value.
  [[nodiscard]] RegResult SetValue(std::string_view path, std::string_view name,
                                   std::string_view value);
  // Opens an existing key with KEY_SET_VALUE access (RegOpenKeyEx). Whatever `key` held is closed
  // first; it stays closed when the key cannot be opened.
  [[nodiscard]] RegResult OpenKey(std::string_view path, RegistryKey& key);
  // Deletes the direct sub-key `name` of an open key (RegDeleteKey): kErrorFileNotFound when there
  // is none, kErrorAccessDenied when it has sub-keys of its own.
  [[nodiscard]] RegResult DeleteSubKey(const RegistryKey& key, std::string_view name);

  // What stood in the way of the last operation that failed, where the registry can say more than
  // its code (on Linux: the file and what is wrong with it); "" otherwise.
  virtual std::string FailureDetail() const { return ""; }

 protected:
  Registry() = default;

 private:
  friend class RegistryKey;

  [[nodiscard]] virtual RegResult DoCreateKey(std::string_view path) = 0;
  [[nodiscard]] virtual RegResult DoSetValue(std::string_view path, std::string_view name,
                                             std::string_view value) = 0;
  [[nodiscard]] virtual RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) = 0;
  [[nodiscard]] virtual RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) = 0;
  [[nodiscard]] virtual RegResult DoCloseKey(std::uintptr_t handle) noexcept = 0;
};

// The classes as Windows keeps them: HKEY_CLASSES_ROOT is a view that merges the user's own
// classes (HKEY_CURRENT_USER\Software\Classes, which win) with the machine's
// (HKEY_LOCAL_MACHINE\Software\Classes). A key created through the view lands in the machine's
// classes, so writing there needs an administrator; the user's own classes need none. A registry
// without that split serves as all three.
struct ClassesRoots {
  Registry& classes;
  Registry& user;
  Registry& machine;
};

}  // namespace kartiva
