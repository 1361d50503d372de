#pragma once

// One owner per window and GDI resource. The owners of a handle are move-only and release it once;
// the guards of a use (a DC borrowed for a paint, an object selected into a DC) are bound to their
// scope and put back what they changed.

#include <windows.h>

#include "core/unique_handle.h"

namespace kartiva::win32 {

// Owns a GDI object (a brush, pen, font, bitmap or region) and deletes it with DeleteObject.
template <typename Handle>
using UniqueGdiObject = UniqueHandle<ReleasedBy<Handle, DeleteObject>>;

// Owns a memory device context (CreateCompatibleDC) and deletes it with DeleteDC.
using MemoryDc = UniqueHandle<ReleasedBy<HDC, DeleteDC>>;

// A window's device context, borrowed for the guard's scope (GetDC, ReleaseDC).
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// The device context of one WM_PAINT (BeginPaint, EndPaint).
class PaintDc {
 public:
  explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;
  ~PaintDc() { EndPaint(window_, &paint_); }

  HDC get() const { return dc_; }
  // The part of the client area to paint.
  const RECT& area() const { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects an object into a DC and selects the one it replaced back when it goes, so that the
// object can be deleted and the DC is left as it was found.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object)
      : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// Keeps a DC's drawing state (text colour, background mode...) and restores it when it goes, for a
// DC that belongs to someone else.
class SavedDcState {
 public:
  explicit SavedDcState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  SavedDcState(const SavedDcState&) = delete;
  SavedDcState& operator=(const SavedDcState&) = delete;
  ~SavedDcState() {
    if (saved_ != 0) RestoreDC(dc_, saved_);
  }

 private:
  HDC dc_;
  int saved_;
};

// Owns a window and destroys it with DestroyWindow.
using UniqueWindow = UniqueHandle<ReleasedBy<HWND, DestroyWindow>>;

}  // namespace kartiva::win32
