#pragma once

// The window's rounded outline, as CreateRoundRectRgn makes it, and which pixels of a row it keeps.

#include <algorithm>
#include <cstdint>

#include "menorix/drawing_target.h"

namespace kartiva {

// The outline CreateRoundRectRgn(left, top, right, bottom, ellipseWidth, ellipseHeight), in
// pixels of the client area.
struct RoundRectRegion {
  PixelRect bounds;
  std::int32_t ellipseWidth = 0;
  std::int32_t ellipseHeight = 0;
  bool operator==(const RoundRectRegion&) const = default;
};

// How many pixels the outline cuts off at each end of row y: a pixel belongs to the rounded
// rectangle when its centre lies inside the ellipse of its corner. A row outside the rectangle is
// cut whole. Inline, so that a window adapter loaded as a module needs nothing else of the form.
inline std::int32_t RoundRectRowInset(const RoundRectRegion& region, std::int32_t y) {
  const PixelRect& bounds = region.bounds;
  const std::int64_t width = bounds.right - bounds.left;
  const std::int64_t height = bounds.bottom - bounds.top;
  const std::int64_t row = y - bounds.top;
  if (row < 0 || row >= height) return static_cast<std::int32_t>(std::max<std::int64_t>(width, 0));
  const std::int64_t ew = std::clamp<std::int64_t>(region.ellipseWidth, 0, width);
  const std::int64_t eh = std::clamp<std::int64_t>(region.ellipseHeight, 0, height);
  const std::int64_t cornerRow = row < eh / 2 ? row : height - 1 - row;
  if (ew == 0 || eh == 0 || cornerRow >= eh / 2) return 0;
  // Inside when ((2x + 1 - ew) / ew)^2 + ((2y + 1 - eh) / eh)^2 <= 1, multiplied out.
  const std::int64_t dy = 2 * cornerRow + 1 - eh;
  const auto inside = [&](std::int64_t x) {
    const std::int64_t dx = 2 * x + 1 - ew;
    return dx * dx * eh * eh + dy * dy * ew * ew <= ew * ew * eh * eh;
  };
  std::int64_t x = 0;
  while (x < ew / 2 && !inside(x)) ++x;
  return static_cast<std::int32_t>(x);
}

}  // namespace kartiva
