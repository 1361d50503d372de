#include "menorix/pixel_buffer.h"

#include <algorithm>
#include <stdexcept>

namespace kartiva {

PixelBuffer::PixelBuffer(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                         std::int32_t planes)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bitsPerPixel_(bitsPerPixel),
      planes_(planes),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), kUnpainted) {}

std::int32_t PixelBuffer::GetDeviceCaps(std::int32_t index) {
  ++deviceCapsQueries_;
  if (index == kBitsPixel) return bitsPerPixel_;
  if (index == kPlanes) return planes_;
  return 0;
}

BrushHandle PixelBuffer::CreateSolidBrush(OleColor color) {
  const auto id = static_cast<std::uintptr_t>(++brushesCreated_);
  brushes_[id] = color;
  mostBrushesAlive_ = std::max(mostBrushesAlive_, brushesAlive());
  return BrushHandle{id};
}

void PixelBuffer::FillRect(const PixelRect& rect, BrushHandle brush) {
  const auto found = brushes_.find(static_cast<std::uintptr_t>(brush));
  if (found == brushes_.end()) throw std::logic_error("FillRect with a brush that is not alive");
  const std::int32_t left = std::max(rect.left, 0);
  const std::int32_t right = std::min(rect.right, width_);
  const std::int32_t top = std::max(rect.top, 0);
  const std::int32_t bottom = std::min(rect.bottom, height_);
  for (std::int32_t y = top; y < bottom; ++y) {
    for (std::int32_t x = left; x < right; ++x) {
      pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
              static_cast<std::size_t>(x)] = found->second;
    }
  }
}

void PixelBuffer::DeleteObject(BrushHandle brush) noexcept {
  if (brushes_.erase(static_cast<std::uintptr_t>(brush)) == 0) ++strayDeletes_;
}

OleColor PixelBuffer::Pixel(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside");
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                 static_cast<std::size_t>(x)];
}

}  // namespace kartiva
