// UTF-8 and UTF-16 as the Windows adapters convert them, which needs no Windows.

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace kartiva::win32
