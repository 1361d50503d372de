#pragma once

// The .reg text form of a key tree, which people can read and edit:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\*]
//
//   [HKEY_CLASSES_ROOT\*\shell]
//
//   [HKEY_CLASSES_ROOT\*\shell\In KV5-Archiv ablegen]
//   "Icon"="C:\\Tools\\Tresolo.exe"
//   "MultiSelectModel"="Player"
//
//   [HKEY_CLASSES_ROOT\*\shell\In KV5-Archiv ablegen\command]
//   @="C:\\Tools\\Tresolo.exe %1"
//
// Every key has its own section, also one without a value, in the order of a depth-first walk
// with sub-keys sorted by name without regard to case. Its default value (@=) comes first, then
// its named values sorted the same way. Names and values are written between double quotes with
// \\, \", \n, \r, \t and \xHH (the other control characters) escaped, so any text comes back
// exactly. A text that does not have this form, also one with comments or other value types that
// a rewrite would lose, is refused with the line and what is wrong; so is a text larger than
// kMaxRegTextBytes, with more than kMaxRegKeys keys, or with a key deeper than kMaxKeyDepth: it is
// read like any input from outside, in time and memory bounded by its size.

#include <cstddef>
#include <string>
#include <string_view>

#include "menorix/key_tree.h"

namespace kartiva {

inline constexpr std::size_t kMaxRegTextBytes = std::size_t{8} << 20;
inline constexpr std::size_t kMaxRegKeys = 100000;

// The text of a registry file holding `tree`.
std::string FormatRegText(const KeyTree& tree);
// Reads a registry file's text into `tree`; false, with the line and what is wrong in `problem`,
// when the text does not have the form above.
bool ParseRegText(std::string_view text, KeyTree& tree, std::string& problem);

}  // namespace kartiva
