#pragma once

// Texts as the file managers read them: shell words, Desktop Entry values and Exec arguments, and
// XML text.

#include <string>
#include <string_view>

namespace kartiva::linux_os {

// Whether every file manager can carry the text: well-formed UTF-8 (XML and desktop files demand
// it) without control characters other than tab, line feed and carriage return.
bool IsPortableText(std::string_view text);

// One word for the POSIX shell: between single quotes, each single quote written as '\''.
std::string ShellWord(std::string_view text);

// One argument of a Desktop Entry Exec line: between double quotes with ", `, $ and \ escaped by a
// backslash, and % doubled so that it is no field code.
std::string ExecArgument(std::string_view text);

// A Desktop Entry string value: backslash, line feed, tab and carriage return escaped, and a
// leading blank written as \s so that it is not taken for white space around the =.
std::string DesktopValue(std::string_view text);

// XML character data: &, < and > as entities, a carriage return as a character reference so that
// the parser's line-end handling keeps it.
std::string XmlText(std::string_view text);

}  // namespace kartiva::linux_os
