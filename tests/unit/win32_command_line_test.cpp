// The Windows command line without Windows: the argument text after the program's name, and the
// program's folder.

#include <gtest/gtest.h>

#include <string_view>

#include "platform/win32/command_line.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

TEST(Win32Text, TheArgumentTextFollowsTheProgramNameAndItsBlanks) {
  struct Case {
    std::u16string_view commandLine;
    std::u16string_view arguments;
  };
  const Case cases[] = {
      {u"Mappix.exe C:\\a.doc", u"C:\\a.doc"},
      {u"\"C:\\Program Files\\Kartiva\\Mappix.exe\" C:\\a b.doc", u"C:\\a b.doc"},
      {u"C:\\Tools\\Mappix.exe \t  \"C:\\a b.doc\"  ", u"\"C:\\a b.doc\"  "},
      {u"C:\\My\" \"Tools\\Mappix.exe x", u"x"},  // quotes inside the name, as the runtime reads it
      {u"\"C:\\Tools\\Mappix.exe\"C:\\a.doc", u""},  // so is a name that goes on after its quote
      {u"Mappix.exe", u""},
      {u"\"C:\\Tools\\Mappix.exe\"   ", u""},
      {u"\"C:\\Tools\\Mappix.exe", u""},  // an unclosed quote takes the rest as the name
      {u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.commandLine));
    EXPECT_EQ(ArgumentText(c.commandLine), c.arguments);
  }
}

// The command that the configurator registers names the program unquoted, blanks and all.
TEST(Win32Text, TheProgramsOwnPathIsTheNameEvenWithBlanksAndWithoutQuotes) {
  struct Case {
    std::u16string_view commandLine;
    std::u16string_view arguments;
  };
  constexpr std::u16string_view program = u"C:\\Program Files\\Kartiva Tools\\Mappix.exe";
  const Case cases[] = {
      {u"C:\\Program Files\\Kartiva Tools\\Mappix.exe C:\\Scans\\a b.doc", u"C:\\Scans\\a b.doc"},
      {u"c:\\program files\\kartiva tools\\MAPPIX.EXE  x", u"x"},
      {u"C:\\Program Files\\Kartiva Tools\\Mappix.exe", u""},
      {u"\"C:\\Program Files\\Kartiva Tools\\Mappix.exe\" x", u"x"},
      {u"C:\\Program Files\\Kartiva Tools\\Mappix.exe2 x", u"Files\\Kartiva Tools\\Mappix.exe2 x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.commandLine));
    EXPECT_EQ(ArgumentText(c.commandLine, program), c.arguments);
  }
}

TEST(Win32Text, TheFolderOfAPathKeepsTheRootOfADrive) {
  EXPECT_EQ(FolderOf(std::u16string_view(u"C:\\Program Files\\Kartiva\\Mappix.exe")),
            u"C:\\Program Files\\Kartiva");
  EXPECT_EQ(FolderOf(std::u16string_view(u"C:\\Mappix.exe")), u"C:\\");
  EXPECT_EQ(FolderOf(std::u16string_view(u"\\\\server\\share\\Mappix.exe")), u"\\\\server\\share");
  EXPECT_EQ(FolderOf(std::u16string_view(u"Mappix.exe")), u"");
}

}  // namespace
}  // namespace kartiva::win32
