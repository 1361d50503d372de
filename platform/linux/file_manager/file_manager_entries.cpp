#include "platform/linux/file_manager/file_manager_entries.h"

#include "core/text.h"
#include "platform/linux/file_manager/entry_text.h"

namespace kartiva::linux_os {
namespace {

// A Nemo action's Name may hold tokens such as %f: a percent sign of the text is doubled.
std::string WithoutTokens(std::string_view text) {
  std::string plain;
  for (char c : text) {
    plain += c;
    if (c == '%') plain += '%';
  }
  return plain;
}

// What every entry runs: sh gets the program as $0, the removal as $1 and the files after it, so no
// path is ever shell text. A file manager itself would show nothing of a program that has gone.
// The removal has a line of its own: xmessage does not wrap, and one line would run off a screen.
constexpr std::string_view kRunner =
    "removal=$1; shift; "
    "if [ ! -f \"$0\" ] || [ ! -x \"$0\" ]; then "
    "text=$(printf '%s\\n%s' "
    "\"Kartiva Explorer tools are no longer installed (cannot run $0);\" "
    "\"remove this entry with: $removal\"); "
    "printf '%s\\n' \"$text\" >&2; "
    "if [ -n \"$DISPLAY$WAYLAND_DISPLAY\" ]; then "
    "{ notify-send 'Kartiva Explorer tools' \"$text\" || "
    "zenity --error --no-markup --text=\"$text\" || kdialog --error \"$text\" || "
    "xmessage -center \"$text\"; } 2>/dev/null; "
    "fi; exit 1; fi; "
    "for file do \"$0\" \"$file\" & done; wait";

// The Exec line of a desktop-style file (Nemo's, Dolphin's, the file-manager actions'): the runner.
std::string ExecLine(std::string_view program, std::string_view removal) {
  return "Exec=" + DesktopValue(RunTogether(program, removal)) + "\n";
}

}  // namespace

bool BearsMarker(std::string_view head) {
  for (int line = 0; line < 2 && !head.empty(); ++line) {
    const std::size_t end = head.find('\n');
    if (head.substr(0, end) == kMarkerLine) return true;
    if (end == std::string_view::npos) break;
    head.remove_prefix(end + 1);
  }
  return false;
}

std::string RemovalByDeleting(const std::filesystem::path& file) {
  const std::string path = file.string();
  if (IsPortableText(path)) return "rm " + ShellWord(path);
  return "a file manager's own settings";
}

std::string RunTogether(std::string_view program, std::string_view removal) {
  return "sh -c " + ExecArgument(kRunner) + " " + ExecArgument(program) + " " +
         ExecArgument(removal) + " %F";
}

std::string ScriptFile(const MenuEntry& entry, std::string_view selectionVariable,
                       std::string_view removal) {
  const std::string variable(selectionVariable);
  return "#!/bin/sh\n" + std::string(kMarkerLine) +
         "\n"
         "# Starts the program at once for every selected file, with the file's absolute path.\n"
         "program=" +
         ShellWord(entry.program) + "\nremoval=" + ShellWord(removal) +
         "\n"
         "selection=${" +
         variable +
         "-}\n"
         "# The variable holds an absolute path a line; a line that does not begin with a slash "
         "goes\n"
         "# on the name of the line before, which held a line break. Where it is set, the "
         "arguments\n"
         "# are not read: the file manager drops each % and the character after it there. A file\n"
         "# that is not there is handed on all the same, for the program to report by its name.\n"
         "if [ -n \"$selection\" ]; then\n"
         "  set --\n"
         "  nl='\n"
         "'\n"
         "  name=\n"
         "  while [ -n \"$selection\" ]; do\n"
         "    case $selection in\n"
         "      *\"$nl\"*) line=${selection%%\"$nl\"*}; selection=${selection#*\"$nl\"} ;;\n"
         "      *) line=$selection; selection= ;;\n"
         "    esac\n"
         "    case $line in\n"
         "      /*) if [ -n \"$name\" ]; then set -- \"$@\" \"$name\"; fi; name=$line ;;\n"
         "      *) name=${name:+$name$nl}$line ;;\n"
         "    esac\n"
         "  done\n"
         "  if [ -n \"$name\" ]; then set -- \"$@\" \"$name\"; fi\n"
         "fi\n"
         "for file do\n"
         "  shift\n"
         "  case $file in /*) ;; *) file=$PWD/$file ;; esac\n"
         "  set -- \"$@\" \"$file\"\n"
         "done\n"
         "exec sh -c " +
         ShellWord(kRunner) + " \"$program\" \"$removal\" \"$@\"\n";
}

std::string NemoAction(const MenuEntry& entry, std::string_view removal) {
  return std::string(kMarkerLine) +
         "\n"
         "[Nemo Action]\n"
         "Name=" +
         DesktopValue(WithoutTokens(entry.menuText)) + "\n" + ExecLine(entry.program, removal) +
         "Selection=notnone\n"
         "Extensions=nodirs;\n";
}

std::string NemoActionFileName(std::string_view menuText) {
  return "kartiva-" + TextId(menuText) + ".nemo_action";
}

std::string DolphinServiceMenu(const std::vector<MenuEntry>& entries, std::string_view removal) {
  std::string actions;
  std::string groups;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string id = "kartiva" + std::to_string(i + 1);
    actions += id + ";";
    groups += "\n[Desktop Action " + id + "]\nName=" + DesktopValue(entries[i].menuText) + "\n" +
              ExecLine(entries[i].program, removal);
  }
  // Type=Application keeps the file valid for desktop-file-validate; NoDisplay keeps it out of
  // application menus, and its own Exec is the first action's.
  return std::string(kMarkerLine) +
         "\n"
         "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Kartiva Explorer tools\n"
         "NoDisplay=true\n" +
         ExecLine(entries.front().program, removal) +
         "MimeType=application/octet-stream;\n"
         "Actions=" +
         actions +
         "\n"
         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
         "X-KDE-Priority=TopLevel\n" +
         groups;
}

std::string FileManagerAction(const MenuEntry& entry, std::string_view removal) {
  return std::string(kMarkerLine) +
         "\n"
         "[Desktop Entry]\n"
         "Type=Action\n"
         "Name=" +
         DesktopValue(entry.menuText) +
         "\n"
         "Profiles=kartiva;\n"
         "\n"
         "[X-Action-Profile kartiva]\n"
         "Name=" +
         DesktopValue(entry.menuText) + "\n" + ExecLine(entry.program, removal) +
         "MimeTypes=all/allfiles;\n"
         "SelectionCount=>0\n";
}

std::string FileManagerActionFileName(std::string_view menuText) {
  return "kartiva-" + TextId(menuText) + ".desktop";
}

std::string ThunarAction(const MenuEntry& entry) {
  return "<action>\n"
         "\t<icon></icon>\n"
         "\t<name>" +
         XmlText(entry.menuText) +
         "</name>\n"
         "\t<submenu></submenu>\n"
         "\t<unique-id>" +
         std::string(kThunarIdPrefix) + TextId(entry.menuText) +
         "</unique-id>\n"
         "\t<command>" +
         XmlText(RunTogether(entry.program, kThunarRemoval)) +
         "</command>\n"
         "\t<description></description>\n"
         "\t<range>*</range>\n"
         "\t<patterns>*</patterns>\n"
         "\t<audio-files/>\n"
         "\t<image-files/>\n"
         "\t<other-files/>\n"
         "\t<text-files/>\n"
         "\t<video-files/>\n"
         "</action>\n";
}

}  // namespace kartiva::linux_os
