#include "menorix/bas_gui.h"

#include <algorithm>
#include <array>

#include "menorix/rounding.h"

namespace kartiva {
namespace {

// One brush, deleted when it goes out of scope, so that no more than one exists at a time and none
// outlives a failed fill.
class ScopedBrush {
 public:
  ScopedBrush(DrawingTarget& target, OleColor color)
      : target_(target), brush_(target.CreateSolidBrush(color)) {}
  ~ScopedBrush() {
    if (brush_ != BrushHandle{}) target_.DeleteObject(brush_);
  }
  ScopedBrush(const ScopedBrush&) = delete;
  ScopedBrush& operator=(const ScopedBrush&) = delete;

  void Fill(const PixelRect& rect) { target_.FillRect(rect, brush_); }

 private:
  DrawingTarget& target_;
  BrushHandle brush_;
};

// Red, green and blue in hundredths of a colour level. The accumulator starts at 100 * c2 and moves
// in BandCount - 1 steps of floor(100 * (c1 - c2 + 1) / BandCount) towards 100 * (c1 + 1); over
// every pair of components and band count it stays within -140..25593 (checked exhaustively), so
// the signed 16 bits of the form runtime never overflow.
using Hundredths = std::array<std::int16_t, 3>;

// A component of a band's colour. Colour pairs other than the window's own can round a component
// to -1 or 256; it is limited to the nearest of 0 and 255, as the RGB function of the form runtime
// limits its arguments.
std::int32_t Component(std::int64_t level) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(level, 0, 255));
}

OleColor Rounded(const Hundredths& acc) {
  return Rgb(Component(RoundHalfEven(acc[0], 100)), Component(RoundHalfEven(acc[1], 100)),
             Component(RoundHalfEven(acc[2], 100)));
}

OleColor RoundedDown(const Hundredths& acc) {
  return Rgb(Component(FloorDiv(acc[0], 100)), Component(FloorDiv(acc[1], 100)),
             Component(FloorDiv(acc[2], 100)));
}

std::array<std::int16_t, 3> Components(std::int32_t color) {
  return {basGUI::GetRed(color), basGUI::GetGreen(color), basGUI::GetBlue(color)};
}

}  // namespace

void basGUI::MeasureColorDepth(DrawingTarget& Target) {
  // In 64 bits, so that no pair of values a device reports can overflow the product.
  const std::int64_t depth = std::int64_t{Target.GetDeviceCaps(DrawingTarget::kBitsPixel)} *
                             Target.GetDeviceCaps(DrawingTarget::kPlanes);
  switch (depth) {
    case 4:
    case 8:
      BandCount = 64;
      break;
    case 15:
      BandCount = 32;
      break;
    case 16:
    case 24:
    case 32:
      BandCount = 256;
      break;
    default:
      ColorDepth = 4;
      BandCount = 64;
      return;
  }
  ColorDepth = static_cast<std::int32_t>(depth);
}

void basGUI::DrawGradient(DrawingTarget& Target, std::int32_t Color1, std::int32_t Color2,
                          std::int16_t Direction) {
  if (ColorDepth == 0) MeasureColorDepth(Target);
  const std::int64_t H = Target.ScaleHeight();
  const std::int64_t W = Target.ScaleWidth();

  const std::array<std::int16_t, 3> first = Components(Color1);
  const std::array<std::int16_t, 3> last = Components(Color2);
  std::array<std::int32_t, 3> Step{};
  Hundredths Acc{};
  for (std::size_t k = 0; k < 3; ++k) {
    // (c1 - c2 + 1) / BandCount * 100 is exact in binary floating point too, since BandCount is a
    // power of two; the integer form gives the same floor.
    const std::int64_t difference = first[k] - last[k] + 1;
    Step[k] = static_cast<std::int32_t>(FloorDiv(difference * 100, BandCount));
    Acc[k] = static_cast<std::int16_t>(last[k] * 100);
  }
  // Hundredths of a pixel, in 64 bits so that no window size overflows.
  const std::int64_t BandH = FloorDiv(H * 100, BandCount);
  const std::int64_t BandW = FloorDiv(W * 100, BandCount);

  PixelRect rect{0, 0, static_cast<std::int32_t>(W), static_cast<std::int32_t>(H)};
  for (std::int64_t i = 0; i < BandCount; ++i) {
    ScopedBrush brush(Target, Rounded(Acc));
    if (Direction == 1) {
      rect.top = static_cast<std::int32_t>(RoundHalfEven(H * 100 - i * BandH, 100));
      brush.Fill(rect);
      rect.bottom = rect.top;
    } else {
      rect.left = static_cast<std::int32_t>(RoundHalfEven(W * 100 - i * BandW, 100));
      brush.Fill(rect);
      rect.right = rect.left;
    }
    if (i < BandCount - 1) {
      for (std::size_t k = 0; k < 3; ++k) Acc[k] = static_cast<std::int16_t>(Acc[k] + Step[k]);
    }
  }

  // The closing fill reaches from the top or left edge to the last band, rounded down.
  rect.left = 0;
  rect.top = 0;
  ScopedBrush brush(Target, RoundedDown(Acc));
  brush.Fill(rect);
}

}  // namespace kartiva
