#include "platform/linux/file_manager/published_entries.h"

#include <algorithm>

#include "menorix/context_menu.h"

namespace kartiva::linux_os {
namespace {

const KeyTree::Key* SubKey(const KeyTree::Key& key, std::string_view name) {
  const auto found =
      std::find_if(key.subKeys.begin(), key.subKeys.end(),
                   [&](const KeyTree::Key& sub) { return SameKeyName(sub.name, name); });
  return found == key.subKeys.end() ? nullptr : &*found;
}

}  // namespace

std::optional<std::string> CommandProgram(std::string_view command) {
  const std::optional<std::string_view> path = CommandProgramPath(command);
  if (!path || !path->starts_with('/')) return std::nullopt;
  if (const std::optional<ProgramPlace> place = SplitProgramPath(*path)) {
    return std::string(place->folder) + "/" + std::string(place->name);
  }
  return std::string(*path);
}

std::vector<MenuEntry> PublishedEntries(const KeyTree& registry) {
  std::vector<MenuEntry> entries;
  const KeyTree::Key* shell = registry.Find("*\\shell");
  if (shell == nullptr) return entries;
  for (const KeyTree::Key& verb : shell->subKeys) {
    const KeyTree::Key* command = SubKey(verb, "command");
    if (command == nullptr || !command->value) continue;
    if (std::optional<std::string> program = CommandProgram(*command->value)) {
      entries.push_back({verb.name, std::move(*program)});
    }
  }
  return entries;
}

}  // namespace kartiva::linux_os
