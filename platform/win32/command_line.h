#pragma once

// The program facts that Windows hands over as raw text, cut as the tools need them. Nothing here
// calls Windows, so it is built and tested on every platform.

#include <cstddef>
#include <string_view>

namespace kartiva::win32 {

// The argument text of a command line: the program name is skipped, then the blanks that follow
// it; the rest is returned unchanged, quotes and inner blanks included.
//
// The configurator registers the program's path between quotes when it holds a blank, but an entry
// written by an older configurator, or by hand, names a program in a folder with blanks
// ("C:\Program Files\...") unquoted. So when the command line begins with `programPath` itself
// (compared without regard to ASCII case) followed by a blank or nothing, that is the program
// name, also unquoted. Otherwise the name ends at the first blank outside quotation marks, and
// every quotation mark in it opens or closes a quoted part, as the C runtime reads the program
// name:
// https://learn.microsoft.com/en-us/cpp/c-language/parsing-c-command-line-arguments
template <typename Char>
std::basic_string_view<Char> ArgumentText(std::basic_string_view<Char> commandLine,
                                          std::basic_string_view<Char> programPath = {}) {
  const auto isBlank = [](Char c) { return c == Char(' ') || c == Char('\t'); };
  const auto lower = [](Char c) {
    return c >= Char('A') && c <= Char('Z') ? Char(c - 'A' + 'a') : c;
  };
  const auto samePath = [&] {
    if (programPath.empty() || commandLine.size() < programPath.size()) return false;
    for (std::size_t i = 0; i < programPath.size(); ++i) {
      if (lower(commandLine[i]) != lower(programPath[i])) return false;
    }
    return commandLine.size() == programPath.size() || isBlank(commandLine[programPath.size()]);
  };

  std::size_t at = 0;
  if (samePath()) {
    at = programPath.size();
  } else {
    bool quoted = false;
    for (; at < commandLine.size(); ++at) {
      if (commandLine[at] == Char('"')) {
        quoted = !quoted;
      } else if (!quoted && isBlank(commandLine[at])) {
        break;
      }
    }
  }
  while (at < commandLine.size() && isBlank(commandLine[at])) ++at;
  return commandLine.substr(at);
}

// The folder of a full file path: everything before its last backslash, without a trailing
// backslash except at the root of a drive ("C:\"), where the folder would otherwise read "C:".
template <typename Char>
std::basic_string_view<Char> FolderOf(std::basic_string_view<Char> path) {
  const std::size_t slash = path.find_last_of(Char('\\'));
  if (slash == std::basic_string_view<Char>::npos) return {};
  if (slash > 0 && path[slash - 1] == Char(':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

}  // namespace kartiva::win32
