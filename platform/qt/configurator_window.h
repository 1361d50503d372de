#pragma once

// frmAddContext's window in Qt Widgets: frameless and shaped by a mask, its background the pixmap
// that the shading paints into, white buttons, transparent labels and the link. Every event goes
// to the form through one guard, so that no exception crosses Qt's event loop: the exception that
// ends the program stops the loop and Run passes it on.

#include <QPixmap>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "menorix/window_port.h"

namespace kartiva::qt {

// The client area: a pixmap painted through the device-context face.
class PixmapCanvas : public DrawingTarget {
 public:
  PixmapCanvas(QSize size, std::int32_t bitsPerPixel);

  std::int32_t GetDeviceCaps(std::int32_t index) override;
  std::int32_t ScaleWidth() override { return pixmap_.width(); }
  std::int32_t ScaleHeight() override { return pixmap_.height(); }
  BrushHandle CreateSolidBrush(OleColor color) override;
  void FillRect(const PixelRect& rect, BrushHandle brush) override;
  void DeleteObject(BrushHandle brush) noexcept override;

  const QPixmap& pixmap() const { return pixmap_; }

 private:
  QPixmap pixmap_;
  std::int32_t bitsPerPixel_;
  std::map<std::uintptr_t, OleColor> brushes_;
  std::uintptr_t nextBrush_ = 1;
};

class FormSurface;

class QtConfiguratorWindow : public ConfiguratorWindow {
 public:
  QtConfiguratorWindow();
  ~QtConfiguratorWindow() override;
  QtConfiguratorWindow(const QtConfiguratorWindow&) = delete;
  QtConfiguratorWindow& operator=(const QtConfiguratorWindow&) = delete;

  DrawingTarget& ClientArea() override { return canvas_; }
  std::int32_t PixelsPerInchX() override;
  std::int32_t PixelsPerInchY() override;
  void SetWindowRgn(const RoundRectRegion& region) override;
  void StartSystemMove() override;
  bool OpenUrl(const std::string& address, const std::string& workingFolder) override;
  void Run(frmAddContext& form) override;
  void Close() override;

  // Builds the controls from the form and shows the window, centred on the screen, without
  // running the event loop. Run starts with it.
  void Present(frmAddContext& form);
  QWidget& widget();

 private:
  void AddControls();
  void Sync();
  void Dispatch(const std::function<void(WindowEvents&)>& event);

  std::unique_ptr<FormSurface> surface_;
  PixmapCanvas canvas_;
  frmAddContext* form_ = nullptr;
  std::exception_ptr pending_;
  bool closedByForm_ = false;
};

}  // namespace kartiva::qt
