// The configurator's shading, pixel by pixel, on displays of every depth.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "menorix/bas_gui.h"
#include "menorix/frm_add_context.h"
#include "menorix/pixel_buffer.h"
#include "menorix/round_rect.h"
#include "menorix/twips.h"

namespace kartiva {
namespace {

constexpr std::int32_t kWidth = 312;  // the window's client area at 96 dpi
constexpr std::int32_t kHeight = 131;
constexpr OleColor kColor1 = frmAddContext::kColor1;
constexpr OleColor kColor2 = frmAddContext::kColor2;

struct Rows {
  std::int32_t first;
  std::int32_t last;
  OleColor color;
};

// Streamed: GCC 12 at -O3 takes `"(" + std::to_string(...)` for an overlapping copy (-Wrestrict).
std::string Text(OleColor color) {
  std::ostringstream text;
  text << '(' << basGUI::GetRed(color) << ", " << basGUI::GetGreen(color) << ", "
       << basGUI::GetBlue(color) << ')';
  return text.str();
}

// Every pixel of the rows first..last, across the whole width, has the colour.
void ExpectRows(const PixelBuffer& buffer, const Rows& rows) {
  for (std::int32_t y = rows.first; y <= rows.last; ++y) {
    for (std::int32_t x = 0; x < buffer.width(); ++x) {
      if (buffer.Pixel(x, y) != rows.color) {
        ADD_FAILURE() << "row " << y << ", column " << x << ": " << Text(buffer.Pixel(x, y))
                      << " instead of " << Text(rows.color);
        return;
      }
    }
  }
}

TEST(DrawGradient, PaintsTheBandsOfEachDisplayDepth) {
  const struct {
    std::int32_t bitsPerPixel;
    std::int16_t bandCount;
    std::vector<Rows> rows;
  } displays[] = {
      {32,
       256,
       {{130, 130, Rgb(181, 218, 249)},
        // Band 49 fills row 106; band 50, whose top 105.5 rounds to 106, is empty.
        {106, 106, Rgb(157, 197, 233)},
        {105, 105, Rgb(156, 196, 232)},
        // Band 150: top 54.5 rounds to 54, and its colour's halves round to even: 107.5 to 108,
        // 153.5 to 154, 199.5 to 200.
        {54, 54, Rgb(108, 154, 200)},
        {1, 1, Rgb(57, 109, 165)},
        {0, 0, Rgb(56, 108, 164)}}},
      {15,
       32,
       {{127, 130, Rgb(177, 215, 246)}, {4, 7, Rgb(62, 111, 168)}, {0, 3, Rgb(61, 111, 168)}}},
      {8, 64, {{129, 130, Rgb(179, 216, 248)}, {0, 1, Rgb(59, 109, 167)}}},
  };
  for (const auto& display : displays) {
    SCOPED_TRACE(std::to_string(display.bitsPerPixel) + "-bit display");
    PixelBuffer buffer(kWidth, kHeight, display.bitsPerPixel);
    basGUI gui;
    gui.DrawGradient(buffer, kColor1, kColor2, 1);
    EXPECT_EQ(gui.ColorDepth, display.bitsPerPixel);
    EXPECT_EQ(gui.BandCount, display.bandCount);
    for (const Rows& rows : display.rows) ExpectRows(buffer, rows);
  }
}

struct DepthCase {
  const char* name;
  std::int32_t bitsPerPixel;
  std::int32_t planes;
  std::int32_t colorDepth;
  std::int16_t bandCount;
};

const DepthCase kDepths[] = {
    {"FourBits", 4, 1, 4, 64},
    {"EightBits", 8, 1, 8, 64},
    {"FifteenBits", 15, 1, 15, 32},
    {"SixteenBits", 16, 1, 16, 256},
    {"TwentyFourBits", 24, 1, 24, 256},
    {"ThirtyTwoBits", 32, 1, 32, 256},
    {"FourBitsOnFourPlanes", 4, 4, 16, 256},
    {"OneBit", 1, 1, 4, 64},
    {"OneBitOnFourPlanes", 1, 4, 4, 64},
    {"TwoBits", 2, 1, 4, 64},
    {"NoBitsNoPlanes", 0, 0, 4, 64},
    {"FortyEightBits", 48, 1, 4, 64},
    {"NegativeBitsAndPlanes", -8, -1, 8, 64},
    {"HugeBitsAndPlanes", 65536, 65536, 4, 64},
};

void PrintTo(const DepthCase& depth, std::ostream* out) { *out << depth.name; }

class BandCountByDepth : public ::testing::TestWithParam<DepthCase> {};

TEST_P(BandCountByDepth, ChoosesTheBandCountAndFallsBackToFourBits) {
  const DepthCase& depth = GetParam();
  PixelBuffer buffer(kWidth, kHeight, depth.bitsPerPixel, depth.planes);
  basGUI gui;
  gui.DrawGradient(buffer, kColor1, kColor2, 1);
  EXPECT_EQ(gui.ColorDepth, depth.colorDepth);
  EXPECT_EQ(gui.BandCount, depth.bandCount);
}

INSTANTIATE_TEST_SUITE_P(DrawGradient, BandCountByDepth, ::testing::ValuesIn(kDepths),
                         [](const ::testing::TestParamInfo<DepthCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(DrawGradient, ShadesAnUnknownDepthAsFourBits) {
  // An unknown depth shades exactly as a 4-bit display, which shades as an 8-bit one.
  PixelBuffer unknown(kWidth, kHeight, 1);
  basGUI gui;
  gui.DrawGradient(unknown, kColor1, kColor2, 1);
  ExpectRows(unknown, {129, 130, Rgb(179, 216, 248)});
  ExpectRows(unknown, {0, 1, Rgb(59, 109, 167)});
}

TEST(DrawGradient, AnyOtherDirectionPaintsVerticalStripesFromTheRightEdge) {
  for (const std::int16_t direction : {0, 2, -1}) {
    SCOPED_TRACE("Direction " + std::to_string(direction));
    PixelBuffer buffer(kWidth, kHeight, 32);
    basGUI gui;
    gui.DrawGradient(buffer, kColor1, kColor2, direction);
    // BandW is 121 hundredths of a pixel: band 1 fills column 311, band 254 column 5, band 255
    // columns 3 and 4, and the closing fill columns 0 to 2.
    const struct {
      std::int32_t first;
      std::int32_t last;
      OleColor color;
    } columns[] = {{311, 311, Rgb(181, 218, 249)},
                   {5, 5, Rgb(57, 109, 165)},
                   {3, 4, Rgb(56, 108, 165)},
                   {0, 2, Rgb(56, 108, 164)}};
    for (const auto& column : columns) {
      for (std::int32_t x = column.first; x <= column.last; ++x) {
        for (std::int32_t y = 0; y < kHeight; ++y) {
          ASSERT_EQ(Text(buffer.Pixel(x, y)), Text(column.color))
              << "column " << x << ", row " << y;
        }
      }
    }
  }
}

TEST(DrawGradient, UsesOneBrushAtATimeAndDeletesEveryOne) {
  const struct {
    std::int32_t bitsPerPixel;
    int brushes;
  } displays[] = {{32, 257}, {15, 33}, {8, 65}};
  for (const auto& display : displays) {
    SCOPED_TRACE(std::to_string(display.bitsPerPixel) + "-bit display");
    PixelBuffer buffer(kWidth, kHeight, display.bitsPerPixel);
    basGUI gui;
    gui.DrawGradient(buffer, kColor1, kColor2, 1);
    EXPECT_EQ(buffer.brushesCreated(), display.brushes);
    EXPECT_EQ(buffer.brushesAlive(), 0);
    EXPECT_EQ(buffer.mostBrushesAlive(), 1);
    EXPECT_EQ(buffer.strayDeletes(), 0);
  }
}

TEST(DrawGradient, LimitsComponentsOfOtherColourPairsToTheirRange) {
  const struct {
    std::string name;
    OleColor color1;
    OleColor color2;
    std::int32_t bitsPerPixel;
    Rows rows;
  } cases[] = {
      // The steps of +3 hundredths carry band 31 to 255.93, which rounds to 256.
      {"white to white", Rgb(255, 255, 255), Rgb(255, 255, 255), 15, {4, 7, Rgb(255, 255, 255)}},
      // Steps of -1 carry the closing fill to -0.55, which rounds down to -1.
      {"grey 2 to black", Rgb(0, 0, 0), Rgb(2, 2, 2), 32, {0, 0, Rgb(0, 0, 0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PixelBuffer buffer(kWidth, kHeight, c.bitsPerPixel);
    basGUI gui;
    gui.DrawGradient(buffer, c.color1, c.color2, 1);
    ExpectRows(buffer, c.rows);
  }
}

TEST(ColourComponents, SplitTheLowThreeBytesWithTruncatingDivision) {
  const struct {
    std::int32_t color;
    std::int16_t red;
    std::int16_t green;
    std::int16_t blue;
  } colors[] = {
      {0xA56B39, 57, 107, 165},
      {0xF9DAB5, 181, 218, 249},
      {0x12345678, 0x78, 0x56, 0x34},
      // A system colour is negative: its quotients truncate towards zero, unlike a shift.
      {vbHighlightText, 14, 1, 1},
      {-1, 255, 0, 0},
  };
  for (const auto& c : colors) {
    EXPECT_EQ(basGUI::GetRed(c.color), c.red) << c.color;
    EXPECT_EQ(basGUI::GetGreen(c.color), c.green) << c.color;
    EXPECT_EQ(basGUI::GetBlue(c.color), c.blue) << c.color;
  }
}

}  // namespace
}  // namespace kartiva
