#include "configurator/context_menu.h"

#include <utility>

#include "core/error.h"

namespace kartiva {
namespace {

std::string EntryKey(std::string_view menuText) {
  return std::string(kShellKey) + "\\" + std::string(menuText);
}

}  // namespace

std::string CommandValue(std::string_view folder, std::string_view programFile) {
  std::string path = std::string(folder) + std::string(programFile);
  if (path.find(' ') != std::string::npos) path = "\"" + path + "\"";
  return path + " %1";
}

ContextMenu::ContextMenu(Registry& registry, Runtime& runtime, std::function<void()> cmdEnde_Click)
    : registry_(registry), runtime_(runtime), cmdEnde_Click_(std::move(cmdEnde_Click)) {}

void ContextMenu::cmdAppend_Click() {
  // After a failed write the remaining writes are not attempted: the user is told that the menu
  // could not be set up, and nothing more is changed behind that message.
  RegResult failure = kErrorSuccess;
  for (const ContextMenuEntry& entry : kContextMenuEntries) {
    failure = WriteEntry(entry);
    if (failure != kErrorSuccess) break;
  }
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
  for (const ContextMenuEntry& entry : kContextMenuEntries) {
    Delete_ContextItem(std::string(entry.menuText));
  }
  MsgBox(runtime_,
         {.text = "Funktion wurde aus dem Kontextmenü entfernt.", .icon = Icon::Information});
  cmdEnde_Click_();
}

bool ContextMenu::Delete_ContextItem(const std::string& strText) {
  {
    RegistryKey hKey;
    if (registry_.OpenKey(EntryKey(strText), hKey) != kErrorSuccess) return false;
    if (registry_.DeleteSubKey(hKey, "Command") != kErrorSuccess) return false;
  }
  RegistryKey hShell;
  if (registry_.OpenKey(kShellKey, hShell) != kErrorSuccess) return false;
  return registry_.DeleteSubKey(hShell, strText) == kErrorSuccess;
}

RegResult ContextMenu::WriteEntry(const ContextMenuEntry& entry) {
  const std::string keyPath = EntryKey(entry.menuText) + "\\command";
  if (RegResult result = registry_.CreateKey(keyPath)) return result;
  return registry_.SetDefaultValue(keyPath,
                                   CommandValue(runtime_.program.folder, entry.programFile));
}

}  // namespace kartiva
