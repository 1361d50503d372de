#pragma once

// basGUI: the configurator's shading routine and the colour helpers, painted through a drawing
// target with the face of a device context. Every division the shading rounds has 100 or the band
// count as its denominator, and is rounded exactly (rounding.h).

#include <cstdint>

#include "core/controls.h"
#include "menorix/drawing_target.h"

namespace kartiva {

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
