#pragma once

// The files through which the common Linux file managers offer a context-menu entry on every file:
// GNOME Files and Caja scripts, Nemo actions, a Dolphin service menu and Thunar custom actions.
// Each entry starts its program once for each selected file, with the file's absolute path as its
// only argument. Every file carries a marker, so that the entries written here are told apart from
// the user's own.

#include <string>
#include <string_view>
#include <vector>

namespace kartiva::posix {

struct MenuEntry {
  std::string menuText;  // what the menu shows
  std::string program;   // the absolute path of the program it starts
};

// A comment line in the first two lines of every file written here.
inline constexpr std::string_view kMarkerLine =
    "# Kartiva Explorer tools: written by Menorix (Aktivieren), removed by Deaktivieren.";
// Whether a file that begins with `head` was written here.
bool BearsMarker(std::string_view head);

// A script for GNOME Files or Caja, which pass the selected files as arguments (names relative to
// the current folder) or, without arguments, in `selectionVariable`, one path a line.
std::string ScriptFile(const MenuEntry& entry, std::string_view selectionVariable);

// A Nemo action (a .nemo_action file) offered on any selection of files.
std::string NemoAction(const MenuEntry& entry);
// The Nemo action's file name: the menu text may hold what a file name cannot.
std::string NemoActionFileName(std::string_view menuText);

// One Dolphin service menu (a .desktop file) with an action per entry; `entries` is not empty.
std::string DolphinServiceMenu(const std::vector<MenuEntry>& entries);
inline constexpr std::string_view kDolphinFileName = "kartiva-explorer-tools.desktop";

// One Thunar custom action, an <action> element of uca.xml.
std::string ThunarAction(const MenuEntry& entry);
// The unique-id of every Thunar action written here begins with this: Thunar keeps it when the
// user edits the actions, so it is the marker in uca.xml.
inline constexpr std::string_view kThunarIdPrefix = "kartiva-explorer-tools-";

// The Exec-line arguments that start `program` once for each of the files that %F stands for.
std::string RunForEachFile(std::string_view program);

}  // namespace kartiva::posix
