#pragma once

// The progress window of a long batch: a line naming the file being done, a bar and a cancel
// button. It is not modal; the program pumps its messages between files, so a click or Escape is
// seen before the next file starts.

#include <windows.h>

#include "core/runtime.h"
#include "platform/win32/base_window.h"
#include "platform/win32/gdi.h"

namespace kartiva::win32 {

class ProgressWindow : public BaseWindow<ProgressWindow> {
 public:
  // The window's class name, by which the tests find it.
  static constexpr wchar_t kClassName[] = L"KartivaProgress";

  // Creates the window, hidden, centred on the screen; a failure is an outright failure.
  ProgressWindow();
  ~ProgressWindow() { Destroy(); }

  // Shows `progress`, handles the messages that waited, and tells whether the user has cancelled
  // (the button, Escape, or closing the window).
  bool Show(const ProgressRequest& progress);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HWND AddControl(const wchar_t* kind, DWORD style, int id);
  void Arrange();
  void Pump();

  HWND line_ = nullptr;
  HWND bar_ = nullptr;
  HWND cancel_ = nullptr;
  UniqueGdiObject<HFONT> font_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  bool cancelled_ = false;
};

}  // namespace kartiva::win32
