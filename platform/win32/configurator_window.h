#pragma once

// frmAddContext's window in Win32: a borderless pop-up shaped by its window region, whose
// background is a bitmap that the shading paints into. The buttons are owner-drawn child windows
// with their own face colour. The labels have no window of their own, as the form runtime's labels
// have none: the window paints them transparently over its background and finds them under the
// mouse itself, so that a press on a label is the label's and never starts a drag.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "menorix/form_controls.h"
#include "platform/win32/base_window.h"
#include "platform/win32/gdi.h"
#include "platform/win32/label_accessible.h"

namespace kartiva::win32 {

// The client area as a bitmap in memory, with the face of a device context. What is painted into
// it stays; the window copies it to the screen whenever it repaints.
class BackBuffer : public DrawingTarget {
 public:
  // A white bitmap of `size`, in the format of the window's screen.
  BackBuffer(HWND window, SIZE size);

  // Asks the window's screen: the colour depth is the display's, not the bitmap's.
  std::int32_t GetDeviceCaps(std::int32_t index) override;
  std::int32_t ScaleWidth() override { return size_.cx; }
  std::int32_t ScaleHeight() override { return size_.cy; }
  BrushHandle CreateSolidBrush(OleColor color) override;
  // Fills the buffer and has the window repaint the filled part.
  void FillRect(const PixelRect& rect, BrushHandle brush) override;
  void DeleteObject(BrushHandle brush) noexcept override;

  SIZE size() const { return size_; }
  // Copies the part `area` of the buffer to the same place of `target`.
  void CopyTo(HDC target, const RECT& area) const;

 private:
  HWND window_;
  SIZE size_;
  MemoryDc dc_;
  UniqueGdiObject<HBITMAP> bitmap_;
  Selection selected_;  // the bitmap in dc_; declared last, so it is put back before both go
};

class WindowsConfiguratorWindow final : public ConfiguratorWindow,
                                        private BaseWindow<WindowsConfiguratorWindow> {
 public:
  // Creates the window hidden, centred on the primary screen's work area, with the form's client
  // area at that screen's resolution. A window that cannot be made is an outright failure.
  WindowsConfiguratorWindow();
  ~WindowsConfiguratorWindow() override;

  DrawingTarget& ClientArea() override { return *buffer_; }
  std::int32_t PixelsPerInchX() override { return dpi_; }
  std::int32_t PixelsPerInchY() override { return dpi_; }
  // The window takes the region over once SetWindowRgn succeeds. Like the form runtime, the form
  // is not told of a failure: the window then keeps its rectangular shape.
  void SetWindowRgn(const RoundRectRegion& region) override;
  void StartSystemMove() override;
  bool OpenUrl(const std::string& address, const std::string& workingFolder) override;
  void Run(frmAddContext& form) override;
  void Close() override;

 private:
  friend class BaseWindow<WindowsConfiguratorWindow>;

  // A button window; a child, so the window destroys it with itself.
  struct Button {
    ButtonControl control;
    HWND window;
  };

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void AddTool(UINT flags, UINT_PTR id, const RECT& place);
  void SetToolText(UINT_PTR id, const std::string& text);
  // Brings the window up to the form's captions, states, tooltips and label colours.
  void Sync();
  template <typename Event>
  void Dispatch(const Event& event);

  void Paint();
  void PaintLine(HDC dc) const;
  void PaintLabels(HDC dc) const;
  void DrawButton(const DRAWITEMSTRUCT& item) const;
  void Resized(SIZE size);
  void Command(WORD id, WORD code);
  void MouseDown(std::int16_t button, WPARAM keys, POINT at);
  void MouseUp(std::int16_t button, WPARAM keys, POINT at);
  bool SetLabelCursor() const;

  RECT LabelRect(std::size_t index) const;
  // The labels as a screen reader meets them, and the click of a link that it follows.
  std::vector<AccessibleLabel> AccessibleLabels() const;
  void FollowLink(std::size_t index);
  // The topmost label at a point of the client area.
  std::optional<std::size_t> LabelAt(POINT at) const;
  const Button* ButtonOf(HWND window) const;

  std::int32_t dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::unique_ptr<BackBuffer> buffer_;
  UniqueGdiObject<HFONT> font_;
  std::vector<UniqueGdiObject<HFONT>> labelFonts_;  // one for each of kLabelControls
  HWND tooltip_ = nullptr;                          // owned by the window, goes with it
  std::vector<Button> buttons_;                     // in tab order
  HWND focused_ = nullptr;                          // the button to give the focus back to
  frmAddContext* form_ = nullptr;
  std::optional<std::size_t> pressedLabel_;  // the label that has the mouse captured
  bool closedByForm_ = false;
};

}  // namespace kartiva::win32
