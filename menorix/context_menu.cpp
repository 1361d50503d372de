#include "menorix/context_menu.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <utility>

#include "core/error.h"

namespace kartiva {
namespace {

// The Explorer shows a verb with this model for up to 100 selected files and starts one process
// per file; without it the entries vanish from the menu when more than 15 files are selected.
constexpr std::string_view kMultiSelectModel = "MultiSelectModel";
constexpr std::string_view kOneProcessPerFile = "Player";
constexpr std::string_view kIcon = "Icon";

constexpr std::string_view kPlaceholder = " %1";
constexpr char kFolderSeparator = '\\';
constexpr std::string_view kProgramSuffix = ".exe";

bool EndsWithWithoutCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) ==
                             std::tolower(static_cast<unsigned char>(b));
                    });
}

std::string EntryKey(std::string_view menuText) {
  return std::string(kShellKey) + "\\" + std::string(menuText);
}

// Whether `classes` shows the entry now.
bool IsPresent(Registry& classes, std::string_view menuText) {
  RegistryKey key;
  return classes.OpenKey(EntryKey(menuText), key) == kErrorSuccess;
}

}  // namespace

std::string ProgramValue(std::string_view folder, std::string_view programFile) {
  std::string path = std::string(folder) + std::string(programFile);
  if (path.find(' ') != std::string::npos) path = "\"" + path + "\"";
  return path;
}

std::string CommandValue(std::string_view folder, std::string_view programFile) {
  return ProgramValue(folder, programFile) + std::string(kPlaceholder);
}

std::optional<std::string_view> CommandProgramPath(std::string_view command) {
  if (!command.ends_with(kPlaceholder)) return std::nullopt;
  command.remove_suffix(kPlaceholder.size());
  if (command.size() >= 2 && command.front() == '"' && command.back() == '"') {
    command = command.substr(1, command.size() - 2);
  }
  return command;
}

std::optional<ProgramPlace> SplitProgramPath(std::string_view path) {
  const std::size_t separator = path.rfind(kFolderSeparator);
  if (separator == std::string_view::npos) return std::nullopt;
  std::string_view file = path.substr(separator + 1);
  if (!EndsWithWithoutCase(file, kProgramSuffix) || file.size() == kProgramSuffix.size()) {
    return std::nullopt;
  }
  file.remove_suffix(kProgramSuffix.size());
  return ProgramPlace{path.substr(0, separator), file};
}

std::optional<RegResult> Delete_ContextItem(Registry& classes, const std::string& strText) {
  {
    RegistryKey hKey;
    const RegResult opened = classes.OpenKey(EntryKey(strText), hKey);
    if (opened == kErrorFileNotFound) return std::nullopt;
    if (opened != kErrorSuccess) return opened;
    // An entry without its command (a run that stopped half-way) is taken down all the same.
    const RegResult command = classes.DeleteSubKey(hKey, "Command");
    if (command != kErrorSuccess && command != kErrorFileNotFound) return command;
  }
  RegistryKey hShell;
  if (RegResult result = classes.OpenKey(kShellKey, hShell)) return result;
  return classes.DeleteSubKey(hShell, strText);
}

ContextMenu::ContextMenu(ClassesRoots roots, Runtime& runtime, std::function<void()> cmdEnde_Click)
    : roots_(roots), runtime_(runtime), cmdEnde_Click_(std::move(cmdEnde_Click)) {}

void ContextMenu::cmdAppend_Click() {
  EntryFlags existed{};
  for (std::size_t i = 0; i < kContextMenuEntries.size(); ++i) {
    existed[i] = IsPresent(roots_.classes, kContextMenuEntries[i].menuText);
  }
  RegResult failure = WriteEntries(roots_.classes);
  if (failure == kErrorAccessDenied) failure = WriteForUser(existed);
  if (failure == kErrorSuccess) {
    MsgBox(runtime_,
           {.text = "Funktion wurde dem Kontextmenü hinzugefügt.", .icon = Icon::Information});
  } else {
    FailureBox(runtime_, {.text = "Funktion konnte dem Kontextmenü nicht hinzugefügt werden: " +
                                  HexCode(failure),
                          .icon = Icon::Critical});
  }
  cmdEnde_Click_();
}

void ContextMenu::cmdDelete_Click() {
  // Every entry is tried, also after one that stays, so that as much as possible is gone.
  RegResult failure = kErrorSuccess;
  for (Registry* classes : {&roots_.user, &roots_.machine}) {
    for (const ContextMenuEntry& entry : kContextMenuEntries) {
      const std::optional<RegResult> result =
          Delete_ContextItem(*classes, std::string(entry.menuText));
      if (failure == kErrorSuccess && result) failure = *result;
    }
  }
  if (failure == kErrorSuccess) {
    MsgBox(runtime_,
           {.text = "Funktion wurde aus dem Kontextmenü entfernt.", .icon = Icon::Information});
  } else {
    FailureBox(runtime_, {.text = "Funktion konnte nicht aus dem Kontextmenü entfernt werden: " +
                                  HexCode(failure),
                          .icon = Icon::Critical});
  }
  cmdEnde_Click_();
}

RegResult ContextMenu::WriteEntries(Registry& classes) {
  // After a failed write the remaining writes are not attempted: the user is told that the menu
  // could not be set up, and nothing more is changed behind that message.
  for (const ContextMenuEntry& entry : kContextMenuEntries) {
    if (RegResult result = WriteEntry(classes, entry)) return result;
  }
  return kErrorSuccess;
}

RegResult ContextMenu::WriteEntry(Registry& classes, const ContextMenuEntry& entry) {
  const std::string entryKey = EntryKey(entry.menuText);
  const std::string keyPath = entryKey + "\\command";
  const std::string& folder = runtime_.program.folder;
  if (RegResult result = classes.CreateKey(keyPath)) return result;
  if (RegResult result = classes.SetDefaultValue(keyPath, CommandValue(folder, entry.programFile)))
    return result;
  if (RegResult result = classes.SetValue(entryKey, kMultiSelectModel, kOneProcessPerFile))
    return result;
  return classes.SetValue(entryKey, kIcon, ProgramValue(folder, entry.programFile));
}

RegResult ContextMenu::WriteForUser(const EntryFlags& existed) {
  // No half-written entry may stay behind in the machine's classes: the user's own entries would
  // hide it for this user, but every other user would meet it.
  for (std::size_t i = 0; i < kContextMenuEntries.size(); ++i) {
    if (existed[i]) continue;
    const std::optional<RegResult> removed =
        Delete_ContextItem(roots_.classes, std::string(kContextMenuEntries[i].menuText));
    if (removed && *removed != kErrorSuccess) return *removed;
  }
  return WriteEntries(roots_.user);
}

}  // namespace kartiva
