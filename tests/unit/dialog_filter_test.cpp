#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/win32/dialog_filter.h"

namespace kartiva::win32 {
namespace {

using namespace std::string_literals;

TEST(Win32Text, TheDialogFilterEndsEachPartAndTheListWithNul) {
  EXPECT_EQ(DialogFilter(std::u16string_view(u"All files (*.*)|*.*")),
            u"All files (*.*)\0*.*\0\0"s);
  EXPECT_EQ(DialogFilter(std::u16string_view(u"Text|*.txt|TIF|*.tif;*.tiff")),
            u"Text\0*.txt\0TIF\0*.tif;*.tiff\0\0"s);
}

}  // namespace
}  // namespace kartiva::win32
