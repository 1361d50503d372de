#pragma once

// The filter of the file-open dialog control, "Description|pattern|Description|pattern", in the
// form that GetOpenFileNameW reads: each part ends in a NUL, and an empty part ends the list.
// Portable, so that it is tested on every platform.

#include <string>
#include <string_view>

namespace kartiva::win32 {

template <typename Char>
std::basic_string<Char> DialogFilter(std::basic_string_view<Char> filter) {
  std::basic_string<Char> parts(filter);
  for (Char& c : parts) {
    if (c == Char('|')) c = Char('\0');
  }
  parts += Char('\0');  // ends the last part
  parts += Char('\0');  // the empty part that ends the list
  return parts;
}

}  // namespace kartiva::win32
