#include "platform/posix/file_manager/published_registry.h"

#include <fcntl.h>

#include <system_error>
#include <utility>
#include <vector>

#include "platform/posix/file_manager/published_entries.h"
#include "posix_base/file_lock.h"
#include "posix_base/unique_fd.h"

namespace kartiva::posix {

PublishedRegistry::PublishedRegistry(TreeRegistry& record, FileManagerPublisher& publisher,
                                     std::filesystem::path lockFile)
    : record_(record), publisher_(publisher), lockFile_(std::move(lockFile)) {}

RegResult PublishedRegistry::DoCreateKey(std::string_view path) {
  return Published(record_.CreateKey(path));
}

RegResult PublishedRegistry::DoSetValue(std::string_view path, std::string_view name,
                                        std::string_view value) {
  return Published(record_.SetValue(path, name, value));
}

RegResult PublishedRegistry::DoOpenKey(std::string_view path, std::uintptr_t& handle) {
  RegistryKey key;
  const RegResult opened = record_.OpenKey(path, key);
  const RegResult published = Publish(Publication::Withdraw);
  if (opened != kErrorSuccess) return published != kErrorSuccess ? published : opened;
  // The key is handed out all the same: the change that follows publishes again and reports it.
  handle = nextHandle_++;
  keys_.emplace(handle, std::move(key));
  return kErrorSuccess;
}

RegResult PublishedRegistry::DoDeleteSubKey(std::uintptr_t handle, std::string_view name) {
  const auto key = keys_.find(handle);
  if (key == keys_.end()) return kErrorInvalidHandle;
  return Published(record_.DeleteSubKey(key->second, name), Publication::Withdraw);
}

RegResult PublishedRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
  return keys_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

RegResult PublishedRegistry::Published(RegResult result, Publication publication) {
  const RegResult published = Publish(publication);
  return published != kErrorSuccess ? published : result;
}

RegResult PublishedRegistry::Publish(Publication publication) {
  std::error_code error;
  std::filesystem::create_directories(lockFile_.parent_path(), error);
  // Without a lock (a folder that may not be written) the publication still runs.
  const UniqueFd lock(::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() >= 0) static_cast<void>(LockExclusively(lock.get()));
  return record_.ReadTree([&](const KeyTree& tree) {
    const std::vector<MenuEntry> entries = PublishedEntries(tree);
    return publication == Publication::Full ? publisher_.Publish(entries)
                                            : publisher_.Withdraw(entries);
  });
}

}  // namespace kartiva::posix
