#include "platform/linux/file_manager/published_registry.h"

#include <fcntl.h>

#include <system_error>
#include <utility>
#include <vector>

#include "linux_base/file_lock.h"
#include "linux_base/unique_fd.h"
#include "platform/linux/file_manager/published_entries.h"

namespace kartiva::linux_os {
namespace {

constexpr std::string_view kShellPath = "*\\shell";

// The menu text of an entry key's path "*\shell\<menu text>"; empty for any other path.
std::string_view EntryOf(std::string_view path) {
  if (path.size() <= kShellPath.size() + 1 ||
      !SameKeyName(path.substr(0, kShellPath.size()), kShellPath) ||
      path[kShellPath.size()] != '\\') {
    return {};
  }
  const std::string_view text = path.substr(kShellPath.size() + 1);
  return text.find('\\') == std::string_view::npos ? text : std::string_view();
}

}  // namespace

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
  if (opened != kErrorSuccess) {
    if (published != kErrorSuccess) return published;
    const std::string_view entry = EntryOf(path);
    return opened == kErrorFileNotFound && !entry.empty() ? Gone(entry, opened) : opened;
  }
  // The key is handed out all the same: the change that follows publishes again and reports it.
  handle = nextHandle_++;
  keys_.emplace(handle, OpenedKey{std::move(key), std::string(path)});
  return kErrorSuccess;
}

RegResult PublishedRegistry::DoDeleteSubKey(std::uintptr_t handle, std::string_view name) {
  const auto key = keys_.find(handle);
  if (key == keys_.end()) return kErrorInvalidHandle;
  const RegResult result =
      Published(record_.DeleteSubKey(key->second.key, name), Publication::Withdraw);
  const bool entryGone = result == kErrorSuccess && SameKeyName(key->second.path, kShellPath);
  return entryGone ? Gone(name, result) : result;
}

RegResult PublishedRegistry::DoCloseKey(std::uintptr_t handle) noexcept {
  return keys_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

RegResult PublishedRegistry::Published(RegResult result, Publication publication) {
  const RegResult published = Publish(publication);
  return published != kErrorSuccess ? published : result;
}

RegResult PublishedRegistry::Gone(std::string_view menuText, RegResult result) {
  const RegResult occupied = publisher_.Occupied(std::string(menuText));
  if (occupied == kErrorSuccess) return result;
  detail_ = publisher_.problem();
  return occupied;
}

RegResult PublishedRegistry::Publish(Publication publication) {
  std::error_code error;
  std::filesystem::create_directories(lockFile_.parent_path(), error);
  // Without a lock (a folder that may not be written) the publication still runs.
  const UniqueFd lock(::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() >= 0) static_cast<void>(LockExclusively(lock.get()));
  bool ran = false;
  const RegResult result = record_.ReadTree([&](const KeyTree& tree) {
    ran = true;
    const std::vector<MenuEntry> entries = PublishedEntries(tree);
    return publication == Publication::Full ? publisher_.Publish(entries)
                                            : publisher_.Withdraw(entries);
  });
  detail_ = result != kErrorSuccess && ran ? publisher_.problem() : "";
  return result;
}

}  // namespace kartiva::linux_os
