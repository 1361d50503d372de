#include "menorix/tree_registry.h"

#include <optional>
#include <string>
#include <utility>

namespace kartiva {

RegResult TreeRegistry::DoCreateKey(std::string_view path) {
  std::optional<KeyPath> names = SplitKeyPath(path);
  if (!names) return kErrorBadPathname;
  return Change([&](KeyTree& tree) {
    tree.Create(*names);
    return kErrorSuccess;
  });
}

RegResult TreeRegistry::DoSetValue(std::string_view path, std::string_view name,
                                   std::string_view value) {
  std::optional<KeyPath> names = SplitKeyPath(path);
  if (!names) return kErrorBadPathname;
  return Change([&](KeyTree& tree) {
    tree.SetValue(*names, name, value);
    return kErrorSuccess;
  });
}

RegResult TreeRegistry::DoOpenKey(std::string_view path, std::uintptr_t& handle) {
  std::optional<KeyPath> names = SplitKeyPath(path);
  if (!names) return kErrorBadPathname;
  const RegResult result = Read([&](const KeyTree& tree) {
    return tree.Find(*names) != nullptr ? kErrorSuccess : kErrorFileNotFound;
  });
  if (result != kErrorSuccess) return result;
  handle = nextHandle_++;
  openKeys_.emplace(handle, std::move(*names));
  return kErrorSuccess;
}

RegResult TreeRegistry::DoDeleteSubKey(std::uintptr_t handle, std::string_view name) {
  const auto key = openKeys_.find(handle);
  if (key == openKeys_.end()) return kErrorInvalidHandle;
  if (!IsValidKeyName(name)) return kErrorBadPathname;
  return Change([&](KeyTree& tree) { return tree.DeleteSubKey(key->second, name); });
}

RegResult TreeRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
  return openKeys_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace kartiva
