#pragma once

// A drawing target in memory: a grid of colours with a display's depth, which keeps account of its
// brushes. It stands in for the window where nothing is shown (the console, the tests).

#include <cstdint>
#include <map>
#include <vector>

#include "menorix/bas_gui.h"

namespace kartiva {

class PixelBuffer : public DrawingTarget {
 public:
  // The colour of a pixel that no fill has reached.
  static constexpr OleColor kUnpainted = -1;

  PixelBuffer(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
              std::int32_t planes = 1);

  std::int32_t GetDeviceCaps(std::int32_t index) override;
  std::int32_t ScaleWidth() override { return width_; }
  std::int32_t ScaleHeight() override { return height_; }
  BrushHandle CreateSolidBrush(OleColor color) override;
  // Fills the part of rect that lies inside the buffer; a brush that is not alive is a fault.
  void FillRect(const PixelRect& rect, BrushHandle brush) override;
  void DeleteObject(BrushHandle brush) noexcept override;

  OleColor Pixel(std::int32_t x, std::int32_t y) const;
  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }

  int deviceCapsQueries() const { return deviceCapsQueries_; }
  int brushesCreated() const { return brushesCreated_; }
  int brushesAlive() const { return static_cast<int>(brushes_.size()); }
  int mostBrushesAlive() const { return mostBrushesAlive_; }
  int strayDeletes() const { return strayDeletes_; }  // deletions of a brush that was not alive

 private:
  std::int32_t width_;
  std::int32_t height_;
  std::int32_t bitsPerPixel_;
  std::int32_t planes_;
  std::vector<OleColor> pixels_;
  std::map<std::uintptr_t, OleColor> brushes_;
  int deviceCapsQueries_ = 0;
  int brushesCreated_ = 0;
  int mostBrushesAlive_ = 0;
  int strayDeletes_ = 0;
};

}  // namespace kartiva
