#pragma once

// The files through which the common Linux file managers offer a context-menu entry on every file:
// GNOME Files and Caja scripts, Nemo actions, a Dolphin service menu, Thunar custom actions and
// the file-manager actions that PCManFM-Qt and others read. Each entry starts its program
// for every selected file at once, one instance per file with the file's absolute path as its only
// argument, so that the instances meet as one batch, and waits for all of them. An entry whose
// program has gone says so, and how to remove the entry, instead of failing silently. Every file
// carries a marker, so that the entries written here are told apart from the user's own.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kartiva::linux_os {

struct MenuEntry {
  std::string menuText;  // what the menu shows
  std::string program;   // the absolute path of the program it starts
};

// A comment line in the first two lines of every file written here.
inline constexpr std::string_view kMarkerLine =
    "# Kartiva Explorer tools: written by Menorix (Aktivieren), removed by Deaktivieren.";
// Whether a file that begins with `head` was written here.
bool BearsMarker(std::string_view head);

// How the user removes an entry by hand once its program has gone: the shell command that deletes
// `file`, or where to look when its path is no text that every file manager can carry.
std::string RemovalByDeleting(const std::filesystem::path& file);
// Thunar keeps its actions in one file of the user's: they are removed in Thunar itself.
inline constexpr std::string_view kThunarRemoval = "Thunar's Edit > Configure custom actions";

// A script for GNOME Files or Caja. Both garble % in the arguments they pass (names relative to
// the current folder); `selectionVariable` holds the same selection intact, one path a line, and
// serves whenever each of its lines names an existing file. A name with a line break cannot be
// told apart there: then the arguments serve.
std::string ScriptFile(const MenuEntry& entry, std::string_view selectionVariable,
                       std::string_view removal);

// A Nemo action (a .nemo_action file) offered on any selection of files.
std::string NemoAction(const MenuEntry& entry, std::string_view removal);
// The Nemo action's file name: the menu text may hold what a file name cannot.
std::string NemoActionFileName(std::string_view menuText);

// One Dolphin service menu (a .desktop file) with an action per entry; `entries` is not empty.
std::string DolphinServiceMenu(const std::vector<MenuEntry>& entries, std::string_view removal);
inline constexpr std::string_view kDolphinFileName = "kartiva-explorer-tools.desktop";

// One Thunar custom action, an <action> element of uca.xml.
std::string ThunarAction(const MenuEntry& entry);
// The unique-id of every Thunar action written here begins with this: Thunar keeps it when the
// user edits the actions, so it is the marker in uca.xml.
inline constexpr std::string_view kThunarIdPrefix = "kartiva-explorer-tools-";

// A file-manager action (a .desktop file of Type=Action) offered on any selection of files.
std::string FileManagerAction(const MenuEntry& entry, std::string_view removal);
// Its file name, as for Nemo.
std::string FileManagerActionFileName(std::string_view menuText);

// The Exec-line arguments that start `program` at once for each of the files that %F stands for
// and wait for all of them, or tell the user, with `removal`, that the program has gone.
std::string RunTogether(std::string_view program, std::string_view removal);

}  // namespace kartiva::linux_os
