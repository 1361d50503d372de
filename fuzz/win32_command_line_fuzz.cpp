// The command line as Windows hands it over, any UTF-16 text at all: the argument text is always
// the unchanged end of it, never starts with a blank, and is exactly what followed the program's
// name, whether the name is bare, quoted, or the program's own path with blanks in it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win32/command_line.h"

namespace {

using Text = std::u16string;
using View = std::u16string_view;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// What follows a program name: its blanks are skipped.
View AfterBlanks(View arguments) {
  while (!arguments.empty() && IsBlank(arguments.front())) arguments.remove_prefix(1);
  return arguments;
}

void Expect(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Text text;
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  // The first line is the program's own path, the rest the command line.
  const std::size_t newline = text.find(u'\n');
  const View program = newline == Text::npos ? View() : View(text).substr(0, newline);
  const View line = newline == Text::npos ? View(text) : View(text).substr(newline + 1);

  const View arguments = kartiva::win32::ArgumentText(line, program);
  Expect(arguments.data() + arguments.size() == line.data() + line.size());
  Expect(arguments.empty() || !IsBlank(arguments.front()));

  const View expected = AfterBlanks(line);
  Expect(kartiva::win32::ArgumentText(View(u"Mappix.exe " + Text(expected))) == expected);
  Expect(kartiva::win32::ArgumentText(
             View(u"\"C:\\Program Files\\Mappix.exe\" " + Text(expected))) == expected);
  if (program.find(u'"') == View::npos && !program.empty() && !IsBlank(program.back())) {
    const Text started = Text(program) + u" " + Text(expected);
    Expect(kartiva::win32::ArgumentText(View(started), program) == expected);
  }
  return 0;
}
