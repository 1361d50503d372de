#include "platform/win32/windows_registry.h"

#include <optional>
#include <string>

#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// Text as the wide registry functions take it: they stop at the first NUL, so text that holds one
// would silently name another key or write a shorter value. Such text is refused instead.
std::optional<std::wstring> RegistryText(std::string_view text) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  return ToUtf16<wchar_t>(text);
}

HKEY KeyOf(std::uintptr_t handle) { return reinterpret_cast<HKEY>(handle); }

// Creates the key with every missing key along its path, or opens it, for setting its value.
LONG CreateForSetting(const std::wstring& path, UniqueHKey& key) {
  return RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
}

}  // namespace

RegResult WindowsRegistry::DoCreateKey(std::string_view path) {
  const std::optional<std::wstring> widePath = RegistryText(path);
  if (!widePath) return kErrorBadPathname;
  UniqueHKey key;
  return CreateForSetting(*widePath, key);
}

RegResult WindowsRegistry::DoSetDefaultValue(std::string_view path, std::string_view value) {
  const std::optional<std::wstring> widePath = RegistryText(path);
  if (!widePath) return kErrorBadPathname;
  const std::optional<std::wstring> text = RegistryText(value);
  if (!text || text->size() >= MAXDWORD / sizeof(wchar_t)) return ERROR_INVALID_PARAMETER;
  UniqueHKey key;
  if (const LONG result = CreateForSetting(*widePath, key); result != ERROR_SUCCESS) return result;
  // A REG_SZ counts its terminating NUL in its size, so that every reader finds the end.
  const DWORD bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text->c_str()),
                        bytes);
}

RegResult WindowsRegistry::DoOpenKey(std::string_view path, std::uintptr_t& handle) {
  const std::optional<std::wstring> widePath = RegistryText(path);
  if (!widePath) return kErrorBadPathname;
  UniqueHKey key;
  const LONG result =
      RegOpenKeyExW(HKEY_CLASSES_ROOT, widePath->c_str(), 0, KEY_SET_VALUE, key.Receive());
  if (result == ERROR_SUCCESS) handle = reinterpret_cast<std::uintptr_t>(key.release());
  return result;
}

RegResult WindowsRegistry::DoDeleteSubKey(std::uintptr_t handle, std::string_view name) {
  // RegDeleteKeyW deletes the open key itself for an empty name, and a key further down for a
  // path: neither is a direct sub-key.
  const std::optional<std::wstring> wideName = RegistryText(name);
  if (!wideName || wideName->empty() || wideName->find(L'\\') != std::wstring::npos) {
    return kErrorBadPathname;
  }
  return RegDeleteKeyW(KeyOf(handle), wideName->c_str());
}

RegResult WindowsRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
  return RegCloseKey(KeyOf(handle));
}

}  // namespace kartiva::win32
