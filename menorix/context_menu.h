#pragma once

// The configurator's two actions on the Explorer's context menu for files of every type: add the
// entries that start Mappix and Tresolo, or remove them again. Each action confirms in a box and
// ends the program through the window's cmdEnde_Click.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/runtime.h"
#include "menorix/registry.h"

namespace kartiva {

struct ContextMenuEntry {
  std::string_view menuText;  // the entry key's name, which the Explorer shows
  // Appended to the program folder as it stands: a backslash, the program's name, ".exe".
  std::string_view programFile;
};

// Both entries, in the order in which both actions treat them.
inline constexpr std::array<ContextMenuEntry, 2> kContextMenuEntries{{
    {"In KV5-Briefkorb importieren", "\\Mappix.exe"},
    {"In KV5-Archiv ablegen", "\\Tresolo.exe"},
}};

// The key that holds the verbs of the context menu for files of every type; never deleted.
inline constexpr std::string_view kShellKey = "*\\shell";

// The program's path as the entry names it: between double quotes when it holds a blank (else
// Windows tries "C:\Program.exe" first). It is also the entry's icon: the program's first icon.
std::string ProgramValue(std::string_view folder, std::string_view programFile);

// The command the Explorer runs for an entry: the program's path as above, then " %1", which is
// never quoted because the tools take their whole command line as the file's path.
std::string CommandValue(std::string_view folder, std::string_view programFile);

// A command value taken apart again, as CommandValue joined it: the program's path, without the
// double quotes around it. Nothing when the value does not end in " %1".
std::optional<std::string_view> CommandProgramPath(std::string_view command);

// A program path taken apart again, as ProgramValue joined it: the folder before the program file
// and the program's name in the file "\<name>.exe" (".exe" in any case). Nothing when the path
// does not end in such a file.
struct ProgramPlace {
  std::string_view folder;
  std::string_view name;
};
std::optional<ProgramPlace> SplitProgramPath(std::string_view path);

// Removes the entry named `strText` from `classes`, leaf first: its "Command" sub-key (when it
// is there), then the entry key. kErrorSuccess when the entry is gone; nothing when there is no
// such entry; else the code of the step that failed, and the entry (or what is left of it) stays.
// Every key it opens is closed again before it returns.
std::optional<RegResult> Delete_ContextItem(Registry& classes, const std::string& strText);

// The registration procedures of the configurator's form, over the registry's classes.
class ContextMenu {
 public:
  // `cmdEnde_Click` unloads the window and ends the program; it is called last by both actions.
  ContextMenu(ClassesRoots roots, Runtime& runtime, std::function<void()> cmdEnde_Click);

  // Writes both entries with the commands for the program folder, confirms, ends the program.
  // The entries go through the classes root, so an administrator registers them for the machine;
  // when that is refused, both go into the user's own classes instead. All or nothing: a write
  // that fails stops the writing, the entries that were not there before are taken back, and the
  // box reports the code (and what stood in the way, where the registry can say) instead of
  // confirming.
  void cmdAppend_Click();
  // Removes both entries from the user's and from the machine's classes, ends the program.
  // Entries that are not there are no failure; an entry that stays is reported with the code of
  // the first removal that failed (and what stood in the way), instead of the confirmation.
  void cmdDelete_Click();

 private:
  using EntryFlags = std::array<bool, kContextMenuEntries.size()>;

  struct WriteOutcome {
    RegResult write = kErrorSuccess;     // the code of the write that failed
    RegResult takeBack = kErrorSuccess;  // the first failure to take back what it wrote
  };
  // Writes both entries into `classes`, or, when a write fails, takes back the entries that were
  // not there before.
  [[nodiscard]] WriteOutcome WriteAllOrNothing(Registry& classes);
  // Writes both entries into `classes`; the first failing code, else 0.
  [[nodiscard]] RegResult WriteEntries(Registry& classes);
  // Creates one entry's command key, sets its command and the entry key's values.
  [[nodiscard]] RegResult WriteEntry(Registry& classes, const ContextMenuEntry& entry);
  // Removes the entries that `existed` says were not there before; the first failing code.
  [[nodiscard]] RegResult TakeBack(Registry& classes, const EntryFlags& existed);
  // The failure box of an action: its text, the code, and what stood in the way.
  void ReportFailure(std::string_view text, RegResult code, const std::string& detail);

  ClassesRoots roots_;
  Runtime& runtime_;
  std::function<void()> cmdEnde_Click_;
  std::string detail_;  // what stood in the way of the write that failed
};

}  // namespace kartiva
