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
  const WriteOutcome machine = WriteAllOrNothing(roots_.classes);
  RegResult failure = machine.write;
  // Refused there, with nothing of it left behind: the user's own classes serve instead.
  if (failure == kErrorAccessDenied) {
    failure =
        machine.takeBack != kErrorSuccess ? machine.takeBack : WriteAllOrNothing(roots_.user).write;
  }
  if (failure == kErrorSuccess) {
    MsgBox(runtime_,
           {.text = "Funktion wurde dem Kontextmenü hinzugefügt.", .icon = Icon::Information});
  } else {
    ReportFailure("Funktion konnte dem Kontextmenü nicht hinzugefügt werden: ", failure, detail_);
  }
  cmdEnde_Click_();
}

void ContextMenu::cmdDelete_Click() {
  // Every entry is tried, also after one that stays, so that as much as possible is gone.
  RegResult failure = kErrorSuccess;
  std::string detail;
  for (Registry* classes : {&roots_.user, &roots_.machine}) {
    for (const ContextMenuEntry& entry : kContextMenuEntries) {
      const std::optional<RegResult> result =
          Delete_ContextItem(*classes, std::string(entry.menuText));
      if (failure == kErrorSuccess && result && *result != kErrorSuccess) {
        failure = *result;
        detail = classes->FailureDetail();
      }
    }
  }
  if (failure == kErrorSuccess) {
    MsgBox(runtime_,
           {.text = "Funktion wurde aus dem Kontextmenü entfernt.", .icon = Icon::Information});
  } else {
    ReportFailure("Funktion konnte nicht aus dem Kontextmenü entfernt werden: ", failure, detail);
  }
  cmdEnde_Click_();
}

void ContextMenu::ReportFailure(std::string_view text, RegResult code, const std::string& detail) {
  std::string message = std::string(text) + HexCode(code);
  if (!detail.empty()) message += "\n\n" + detail;
  FailureBox(runtime_, {.text = message, .icon = Icon::Critical});
}

ContextMenu::WriteOutcome ContextMenu::WriteAllOrNothing(Registry& classes) {
  EntryFlags existed{};
  for (std::size_t i = 0; i < kContextMenuEntries.size(); ++i) {
    existed[i] = IsPresent(classes, kContextMenuEntries[i].menuText);
  }
  WriteOutcome outcome{.write = WriteEntries(classes)};
  if (outcome.write == kErrorSuccess) return outcome;
  // What stood in the way is read before the take-back, whose own operations replace it.
  detail_ = classes.FailureDetail();
  outcome.takeBack = TakeBack(classes, existed);
  return outcome;
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
  const std::string folder = runtime_.program.folder();
  if (RegResult result = classes.CreateKey(keyPath)) return result;
  if (RegResult result = classes.SetDefaultValue(keyPath, CommandValue(folder, entry.programFile)))
    return result;
  if (RegResult result = classes.SetValue(entryKey, kMultiSelectModel, kOneProcessPerFile))
    return result;
  return classes.SetValue(entryKey, kIcon, ProgramValue(folder, entry.programFile));
}

RegResult ContextMenu::TakeBack(Registry& classes, const EntryFlags& existed) {
  // No half-written entry may stay behind: a menu with one of the two entries, or an entry without
  // its command, fails the user later and in silence.
  RegResult first = kErrorSuccess;
  for (std::size_t i = 0; i < kContextMenuEntries.size(); ++i) {
    if (existed[i]) continue;
    const std::optional<RegResult> removed =
        Delete_ContextItem(classes, std::string(kContextMenuEntries[i].menuText));
    if (removed && *removed != kErrorSuccess && first == kErrorSuccess) first = *removed;
  }
  return first;
}

}  // namespace kartiva
