#include "platform/win32/windows_registry.h"

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

}  // namespace

std::optional<std::wstring> WindowsRegistry::FullPath(std::string_view path) const {
  std::optional<std::wstring> widePath = RegistryText(path);
  if (!widePath || base_.empty()) return widePath;
  return widePath->empty() ? base_ : base_ + L"\\" + *widePath;
}

// Creates the key with every missing key along its path, or opens it, for setting its values.
LONG WindowsRegistry::CreateForSetting(std::string_view path, UniqueHKey& key) const {
  const std::optional<std::wstring> widePath = FullPath(path);
  if (!widePath) return kErrorBadPathname;
  return RegCreateKeyExW(root_, widePath->c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
}

RegResult WindowsRegistry::DoCreateKey(std::string_view path) {
  UniqueHKey key;
  return CreateForSetting(path, key);
}

RegResult WindowsRegistry::DoSetValue(std::string_view path, std::string_view name,
                                      std::string_view value) {
  const std::optional<std::wstring> wideName = RegistryText(name);
  if (!wideName) return kErrorBadPathname;
  const std::optional<std::wstring> text = RegistryText(value);
  if (!text || text->size() >= MAXDWORD / sizeof(wchar_t)) return ERROR_INVALID_PARAMETER;
  UniqueHKey key;
  if (const LONG result = CreateForSetting(path, key); result != ERROR_SUCCESS) return result;
  // A REG_SZ counts its terminating NUL in its size, so that every reader finds the end.
  const DWORD bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.get(), wideName->empty() ? nullptr : wideName->c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text->c_str()), bytes);
}

RegResult WindowsRegistry::DoOpenKey(std::string_view path, std::uintptr_t& handle) {
  const std::optional<std::wstring> widePath = FullPath(path);
  if (!widePath) return kErrorBadPathname;
  UniqueHKey key;
  const LONG result = RegOpenKeyExW(root_, widePath->c_str(), 0, KEY_SET_VALUE, key.Receive());
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
