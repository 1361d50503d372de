#include "platform/posix/file_manager_entries.h"

#include <cstdint>
#include <cstdio>

#include "platform/posix/entry_text.h"

namespace kartiva::posix {
namespace {

// A name made of safe characters that stays the same for the same menu text (FNV-1a, 64 bits).
std::string TextId(std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  char id[17];
  std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash));
  return id;
}

// A Nemo action's Name may hold tokens such as %f: a percent sign of the text is doubled.
std::string WithoutTokens(std::string_view text) {
  std::string plain;
  for (char c : text) {
    plain += c;
    if (c == '%') plain += '%';
  }
  return plain;
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

std::string RunForEachFile(std::string_view program) {
  // sh gets the program as $0 and the files as its arguments, so no path is ever shell text.
  return "sh -c " + ExecArgument("for file do \"$0\" \"$file\"; done") + " " +
         ExecArgument(program) + " %F";
}

std::string ScriptFile(const MenuEntry& entry, std::string_view selectionVariable) {
  const std::string variable(selectionVariable);
  return "#!/bin/sh\n" + std::string(kMarkerLine) +
         "\n"
         "# Starts the program once for each selected file, with the file's absolute path.\n"
         "program=" +
         ShellWord(entry.program) +
         "\n"
         "if [ $# -eq 0 ]; then\n"
         "  printf '%s\\n' \"$" +
         variable +
         "\" | while IFS= read -r file; do\n"
         "    if [ -n \"$file\" ]; then \"$program\" \"$file\"; fi\n"
         "  done\n"
         "  exit 0\n"
         "fi\n"
         "for file do\n"
         "  case $file in /*) ;; *) file=$PWD/$file ;; esac\n"
         "  \"$program\" \"$file\"\n"
         "done\n";
}

std::string NemoAction(const MenuEntry& entry) {
  return std::string(kMarkerLine) +
         "\n"
         "[Nemo Action]\n"
         "Name=" +
         DesktopValue(WithoutTokens(entry.menuText)) +
         "\n"
         "Exec=" +
         DesktopValue(RunForEachFile(entry.program)) +
         "\n"
         "Selection=notnone\n"
         "Extensions=nodirs;\n";
}

std::string NemoActionFileName(std::string_view menuText) {
  return "kartiva-" + TextId(menuText) + ".nemo_action";
}

std::string DolphinServiceMenu(const std::vector<MenuEntry>& entries) {
  std::string actions;
  std::string groups;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string id = "kartiva" + std::to_string(i + 1);
    actions += id + ";";
    groups += "\n[Desktop Action " + id + "]\nName=" + DesktopValue(entries[i].menuText) +
              "\nExec=" + DesktopValue(RunForEachFile(entries[i].program)) + "\n";
  }
  // Type=Application keeps the file valid for desktop-file-validate; NoDisplay keeps it out of
  // application menus, and its own Exec is the first action's.
  return std::string(kMarkerLine) +
         "\n"
         "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Kartiva Explorer tools\n"
         "NoDisplay=true\n"
         "Exec=" +
         DesktopValue(RunForEachFile(entries.front().program)) +
         "\n"
         "MimeType=application/octet-stream;\n"
         "Actions=" +
         actions +
         "\n"
         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
         "X-KDE-Priority=TopLevel\n" +
         groups;
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
         XmlText(RunForEachFile(entry.program)) +
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

}  // namespace kartiva::posix
