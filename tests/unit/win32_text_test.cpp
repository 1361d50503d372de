// The parts of the Windows adapters that need no Windows: UTF-8 and UTF-16, the command line, the
// program folder and the file dialog's filter.

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/command_line.h"
#include "platform/win32/dialog_filter.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

using namespace std::string_literals;

TEST(Win32Text, Utf8AndUtf16RoundTripEveryWindowsName) {
  const std::u16string names[] = {
      u"",
      u"C:\\Scans\\offer.doc",
      u"C:\\B\u00fcro\\Angebot \u2013 \u03a9.doc",  // two- and three-byte characters
      u"C:\\\U0001F4C4.txt",                        // a surrogate pair
      u"a\xD800z"s,                                 // an unpaired high surrogate, as NTFS allows
      u"\xDC00"s,                                   // an unpaired low surrogate
      u"\xDBFF"s,                                   // a high surrogate at the very end
      u"nul\0inside"s,
  };
  for (const std::u16string& name : names) {
    SCOPED_TRACE(::testing::PrintToString(ToUtf8(std::u16string_view(name))));
    EXPECT_EQ(ToUtf16<char16_t>(ToUtf8(std::u16string_view(name))), name);
  }
  EXPECT_EQ(ToUtf8(std::u16string_view(u"B\u00fcro \U0001F4C4")), "B\xC3\xBCro \xF0\x9F\x93\x84");
}

TEST(Win32Text, BytesThatFormNoCharacterBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"a\xFFz", u"a\uFFFDz"},
      {"\xC3", u"\uFFFD"},                                // cut off at the end
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xE2\x82z", u"\uFFFD\uFFFDz"},                    // cut off by another character
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.utf8));
    EXPECT_EQ(ToUtf16<char16_t>(c.utf8), c.utf16);
  }
}

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

TEST(Win32Text, TheDialogFilterEndsEachPartAndTheListWithNul) {
  EXPECT_EQ(DialogFilter(std::u16string_view(u"All files (*.*)|*.*")),
            u"All files (*.*)\0*.*\0\0"s);
  EXPECT_EQ(DialogFilter(std::u16string_view(u"Text|*.txt|TIF|*.tif;*.tiff")),
            u"Text\0*.txt\0TIF\0*.tif;*.tiff\0\0"s);
}

}  // namespace
}  // namespace kartiva::win32
