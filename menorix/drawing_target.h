#pragma once

// The drawing port of the configurator's window: a rectangle in pixels and a surface with the face
// of a device context.

#include <cstdint>

#include "core/controls.h"

namespace kartiva {

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

}  // namespace kartiva
