#include "platform/posix/file_manager/published_entries.h"

#include <algorithm>

namespace kartiva::posix {
namespace {

constexpr std::string_view kPlaceholder = " %1";
constexpr std::string_view kWindowsSuffix = ".exe";

bool EndsWithWithoutCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameKeyName(text.substr(text.size() - end.size()), end);
}

const KeyTree::Key* SubKey(const KeyTree::Key& key, std::string_view name) {
  const auto found =
      std::find_if(key.subKeys.begin(), key.subKeys.end(),
                   [&](const KeyTree::Key& sub) { return SameKeyName(sub.name, name); });
  return found == key.subKeys.end() ? nullptr : &*found;
}

}  // namespace

std::optional<std::string> CommandProgram(std::string_view command) {
  if (!command.ends_with(kPlaceholder)) return std::nullopt;
  std::string_view program = command.substr(0, command.size() - kPlaceholder.size());
  if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
    program = program.substr(1, program.size() - 2);
  }
  if (!program.starts_with('/')) return std::nullopt;
  const std::size_t separator = program.rfind('\\');
  if (separator == std::string_view::npos) return std::string(program);
  std::string_view file = program.substr(separator + 1);
  if (!EndsWithWithoutCase(file, kWindowsSuffix) || file.size() == kWindowsSuffix.size()) {
    return std::string(program);
  }
  file.remove_suffix(kWindowsSuffix.size());
  return std::string(program.substr(0, separator)) + "/" + std::string(file);
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

}  // namespace kartiva::posix
