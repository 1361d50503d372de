#pragma once

// The skeleton of a window of ours: an object that holds the window's state and handles its
// messages in one switch, Derived::HandleMessage. The object travels through CreateWindowExW's
// lpCreateParams into GWLP_USERDATA, where the window procedure finds it again.
//
// No exception crosses the window procedure. The first one that a handler raises is kept; while
// RunMessageLoop runs, the loop is asked to end (PostQuitMessage) and rethrows it once it has
// ended, so the end of the program (ProgramEnd) raised in a click leaves the loop and then unwinds
// the stack as everywhere else. One raised outside the loop (while the window is being made) is
// rethrown by Create or at the start of RunMessageLoop, and leaves no WM_QUIT behind that would
// close the next message box at once.

#include <windows.h>

#include <exception>
#include <string_view>
#include <utility>

#include "platform/win32/com.h"
#include "platform/win32/gdi.h"

namespace kartiva::win32 {

template <typename Derived>
class BaseWindow {
 public:
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  HWND hwnd() const { return window_.get(); }

 protected:
  BaseWindow() = default;
  ~BaseWindow() { Destroy(); }

  // Registers the window class of `windowClass` (its lpfnWndProc is set here) once per process,
  // and creates the window. A failure is an outright failure.
  void Create(WNDCLASSEXW windowClass, DWORD style, DWORD exStyle, const RECT& place) {
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowProc;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      ThrowLastError("RegisterClassExW");
    }
    CreateWindowExW(exStyle, windowClass.lpszClassName, L"", style, place.left, place.top,
                    place.right - place.left, place.bottom - place.top, nullptr, nullptr,
                    windowClass.hInstance, static_cast<Derived*>(this));
    RethrowEscaped();
    if (!window_) ThrowLastError("CreateWindowExW");
  }

  // Destroys the window now. The messages of its destruction no longer reach HandleMessage, so
  // Derived calls it first thing in its destructor, while its members are still there.
  void Destroy() noexcept {
    if (!window_) return;
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    window_.reset();
  }

  // Dispatches the thread's messages until WM_QUIT, with the keyboard moving between the window's
  // controls as in a dialog; then rethrows the exception that a handler raised meanwhile.
  void RunMessageLoop() {
    RethrowEscaped();
    looping_ = true;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window_ && IsDialogMessageW(window_.get(), &message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    looping_ = false;
    RethrowEscaped();
  }

  // Gives the window `size` and places it in the middle of its monitor's work area.
  void CenterInWorkArea(SIZE size) const {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - size.cx) / 2,
                 work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  // Whether RunMessageLoop is running.
  bool looping() const { return looping_; }

 private:
  void RethrowEscaped() {
    if (escaped_) std::rethrow_exception(std::exchange(escaped_, nullptr));
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->window_ = UniqueWindow(window);
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = 0;
    try {
      result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
      if (!self->escaped_) self->escaped_ = std::current_exception();
      if (self->looping_) PostQuitMessage(0);
    }
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->window_.release();
    }
    return result;
  }

  UniqueWindow window_;
  std::exception_ptr escaped_;
  bool looping_ = false;
};

}  // namespace kartiva::win32
