#include "menorix/registry.h"

#include <utility>

namespace kartiva {

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : owner_(std::exchange(other.owner_, nullptr)), handle_(std::exchange(other.handle_, 0)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    // The key held so far is let go whatever closing it answers.
    static_cast<void>(Close());
    owner_ = std::exchange(other.owner_, nullptr);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

RegistryKey::~RegistryKey() { static_cast<void>(Close()); }

RegResult RegistryKey::Close() noexcept {
  if (!IsOpen()) return kErrorInvalidHandle;
  Registry* owner = std::exchange(owner_, nullptr);
  return owner->DoCloseKey(std::exchange(handle_, 0));
}

RegResult Registry::CreateKey(std::string_view path) { return DoCreateKey(path); }

RegResult Registry::SetDefaultValue(std::string_view path, std::string_view value) {
  return DoSetValue(path, "", value);
}

RegResult Registry::SetValue(std::string_view path, std::string_view name, std::string_view value) {
  return DoSetValue(path, name, value);
}

RegResult Registry::OpenKey(std::string_view path, RegistryKey& key) {
  static_cast<void>(key.Close());  // the key it held before is let go either way
  std::uintptr_t handle = 0;
  const RegResult result = DoOpenKey(path, handle);
  if (result == kErrorSuccess) key = RegistryKey(*this, handle);
  return result;
}

RegResult Registry::DeleteSubKey(const RegistryKey& key, std::string_view name) {
  if (key.owner_ != this) return kErrorInvalidHandle;
  return DoDeleteSubKey(key.handle_, name);
}

}  // namespace kartiva
