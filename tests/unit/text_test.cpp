#include "core/text.h"

#include <gtest/gtest.h>

namespace kartiva {
namespace {

struct CharCase {
  std::string text;
  std::size_t count;
  std::string lastThree;
  std::string firstTwo;
};

TEST(Text, CountsAndCutsByCharacterAcceptingBytesThatAreNotUtf8) {
  const CharCase cases[] = {
      {"", 0, "", ""},
      {"ab", 2, "ab", "ab"},
      {"report.TIF", 10, "TIF", "re"},
      {"x00\xC3\xA9", 4, "00\xC3\xA9", "x0"},                                 // é is one character
      {"a\xF0\x9F\x93\x84xy", 4, "\xF0\x9F\x93\x84xy", "a\xF0\x9F\x93\x84"},  // so is U+1F4C4
      {"ab\xFF\xFE", 4, "b\xFF\xFE", "ab"},             // each stray byte counts alone
      {"a\xE2\x82", 3, "a\xE2\x82", "a\xE2"},           // a cut-off sequence too
      {"\xC0\xAFz", 3, "\xC0\xAFz", "\xC0\xAF"},        // an overlong form too
      {"\xED\xA0\x80", 3, "\xED\xA0\x80", "\xED\xA0"},  // an encoded surrogate too
  };

  for (const CharCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(CharCount(c.text), c.count);
    EXPECT_EQ(LastChars(c.text, 3), c.lastThree);
    EXPECT_EQ(FirstChars(c.text, 2), c.firstTwo);
  }
}

TEST(Text, TrimsOnlySpacesAndCutsAfterTheLastBackslash) {
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("   "), "");
  EXPECT_EQ(TrimSpaces("\ta \t"), "\ta \t");
  EXPECT_EQ(AfterLastBackslash("C:\\Kartiva\\Eingang\\0042.001"), "0042.001");
  EXPECT_EQ(AfterLastBackslash("0042.001"), "0042.001");
  EXPECT_EQ(AfterLastBackslash("C:\\dir\\"), "");
}

}  // namespace
}  // namespace kartiva
