#pragma once

// basGUI: the configurator's shading routine and the colour helpers, painted through a drawing
// target with the face of a device context. The arithmetic is exact integer arithmetic: every
// division the shading rounds is a rational number whose denominator is 100 or the band count, so
// halves are recognised exactly and rounded to even, as the form runtime rounds them.

#include <cstdint>

#include "core/controls.h"

namespace kartiva {

// Integer division rounding towards minus infinity. `denominator` is positive.
constexpr std::int64_t FloorDiv(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t quotient = numerator / denominator;
  return quotient * denominator > numerator ? quotient - 1 : quotient;
}

// numerator / denominator rounded to the nearest integer, halves to the even neighbour.
// `denominator` is positive.
constexpr std::int64_t RoundHalfEven(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t floor = FloorDiv(numerator, denominator);
  const std::int64_t twiceRest = 2 * (numerator - floor * denominator);
  if (twiceRest > denominator || (twiceRest == denominator && floor % 2 != 0)) return floor + 1;
  return floor;
}

// A rectangle in pixels: left and top inside, right and bottom outside the area it covers.
struct PixelRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// A brush as a drawing target hands it out; the value 0 stands for none.
enum class BrushHandle : std::uintptr_t {};

// A surface with the face of a device context, one adapter per platform: the Win32 window paints
// into its back buffer, the Qt window into a pixmap, the tests into a pixel buffer.
class DrawingTarget {
 public:
  // Indices of GetDeviceCaps.
  static constexpr std::int32_t kBitsPixel = 12;  // BITSPIXEL
  static constexpr std::int32_t kPlanes = 14;     // PLANES

  virtual ~DrawingTarget() = default;
  virtual std::int32_t GetDeviceCaps(std::int32_t index) = 0;
  // The inner width and height in pixels.
  virtual std::int32_t ScaleWidth() = 0;
  virtual std::int32_t ScaleHeight() = 0;
  // A solid brush of a colour (never a system colour); a brush lives until DeleteObject.
  virtual BrushHandle CreateSolidBrush(OleColor color) = 0;
  virtual void FillRect(const PixelRect& rect, BrushHandle brush) = 0;
  virtual void DeleteObject(BrushHandle brush) noexcept = 0;
};

// The module's state, kept for the whole run of the program, and its routines.
struct basGUI {
  // Paints the inner area of Target in colour bands from Color2 to Color1: with Direction 1 in
  // horizontal stripes from the bottom edge up, otherwise in vertical stripes from the right edge
  // leftwards. The first call measures the display's colour depth; later calls reuse it.
  void DrawGradient(DrawingTarget& Target, std::int32_t Color1, std::int32_t Color2,
                    std::int16_t Direction);

  // The low byte of a colour.
  static constexpr std::int16_t GetRed(std::int32_t Color) {
    return static_cast<std::int16_t>(Color & 0xFF);
  }
  // The low byte of the colour divided by 256, the division truncating towards zero.
  static constexpr std::int16_t GetGreen(std::int32_t Color) {
    return static_cast<std::int16_t>((Color / 256) & 0xFF);
  }
  // The low byte of the colour divided by 65536, the division truncating towards zero.
  static constexpr std::int16_t GetBlue(std::int32_t Color) {
    return static_cast<std::int16_t>((Color / 65536) & 0xFF);
  }

  std::int32_t ColorDepth = 0;  // bits per pixel; 0 until the first shading measures it
  std::int16_t BandCount = 0;

 private:
  void MeasureColorDepth(DrawingTarget& Target);
};

}  // namespace kartiva
