#pragma once

// The form's measures in twips and the screen's pixels.

#include <cstdint>

#include "core/controls.h"
#include "menorix/drawing_target.h"
#include "menorix/rounding.h"

namespace kartiva {

// Twips (1/1440 inch) in pixels of a screen with the given resolution, rounded to the nearest
// pixel with halves to even: the form runtime's twips per pixel are 1440 / pixelsPerInch, which
// is 15 at 96 pixels per inch.
constexpr std::int32_t TwipsToPixels(std::int32_t twips, std::int32_t pixelsPerInch) {
  return static_cast<std::int32_t>(RoundHalfEven(std::int64_t{twips} * pixelsPerInch, 1440));
}

// Pixels of a screen with the given resolution in twips, for the positions the mouse events pass.
constexpr float PixelsToTwips(double pixels, std::int32_t pixelsPerInch) {
  return static_cast<float>(pixels * 1440 / pixelsPerInch);
}

// A control's place in pixels, each of its four measures converted on its own.
constexpr PixelRect ControlRect(const Twips& position, std::int32_t pixelsPerInchX,
                                std::int32_t pixelsPerInchY) {
  const std::int32_t left = TwipsToPixels(position.left, pixelsPerInchX);
  const std::int32_t top = TwipsToPixels(position.top, pixelsPerInchY);
  return {left, top, left + TwipsToPixels(position.width, pixelsPerInchX),
          top + TwipsToPixels(position.height, pixelsPerInchY)};
}

}  // namespace kartiva
