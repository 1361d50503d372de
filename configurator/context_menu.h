#pragma once

// The configurator's two actions on the Explorer's context menu for files of every type: add the
// entries that start Mappix and Tresolo, or remove them again. Each action confirms in a box and
// ends the program through the window's cmdEnde_Click.

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "configurator/registry.h"
#include "core/runtime.h"

namespace kartiva {

struct ContextMenuEntry {
  std::string_view menuText;     // the entry key's name, which the Explorer shows
  std::string_view programFile;  // appended to the program folder as it stands
};

// Both entries, in the order in which both actions treat them.
inline constexpr std::array<ContextMenuEntry, 2> kContextMenuEntries{{
    {"In KV5-Briefkorb importieren", "\\Mappix.exe"},
    {"In KV5-Archiv ablegen", "\\Tresolo.exe"},
}};

// The key that holds the verbs of the context menu for files of every type; never deleted.
inline constexpr std::string_view kShellKey = "*\\shell";

// The command the Explorer runs for an entry: the program path, between double quotes when it
// holds a blank (else Windows tries "C:\Program.exe" first), then " %1", which is never quoted
// because the tools take their whole command line as the file's path.
std::string CommandValue(std::string_view folder, std::string_view programFile);

// The registration procedures of the configurator's form, over the registry's classes root.
class ContextMenu {
 public:
  // `cmdEnde_Click` unloads the window and ends the program; it is called last by both actions.
  ContextMenu(Registry& registry, Runtime& runtime, std::function<void()> cmdEnde_Click);

  // Writes both entries with the commands for the program folder, confirms, ends the program.
  // Stops at the first write that fails and reports its code instead of confirming.
  void cmdAppend_Click();
  // Removes both entries, confirms, ends the program. Entries that are not there, or not removable,
  // are left as they are and the removal is confirmed all the same.
  void cmdDelete_Click();
  // Removes the entry named `strText`: true only when both its "Command" sub-key and the entry key
  // were deleted. Every key it opens is closed again before it returns.
  bool Delete_ContextItem(const std::string& strText);

 private:
  // Creates one entry's command key and sets its command; the first failing code, else 0.
  RegResult WriteEntry(const ContextMenuEntry& entry);

  Registry& registry_;
  Runtime& runtime_;
  std::function<void()> cmdEnde_Click_;
};

}  // namespace kartiva
