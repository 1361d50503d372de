#include "platform/win32/progress_window.h"

#include <commctrl.h>

#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// The layout at 96 dpi, in pixels: a margin around a line, the bar below it and the button at the
// right below that.
constexpr int kMargin = 12;
constexpr int kWidth = 400;  // of the line and the bar
constexpr int kLineHeight = 20;
constexpr int kBarHeight = 18;
constexpr int kButtonWidth = 96;
constexpr int kButtonHeight = 26;
constexpr int kGap = 8;
constexpr DWORD kFrame = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

int Scaled(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// The font of message boxes, at the window's resolution.
UniqueGdiObject<HFONT> MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi)) {
    return UniqueGdiObject<HFONT>();
  }
  return UniqueGdiObject<HFONT>(CreateFontIndirectW(&metrics.lfMessageFont));
}

}  // namespace

ProgressWindow::ProgressWindow() {
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.hIcon = static_cast<HICON>(LoadImageW(windowClass.hInstance, MAKEINTRESOURCEW(1),
                                                    IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
  Create(windowClass, kFrame, WS_EX_DLGMODALFRAME, RECT{0, 0, 0, 0});
  // Per-monitor aware (see the manifest): the resolution of the screen the window is on.
  if (const UINT dpi = GetDpiForWindow(hwnd()); dpi != 0) dpi_ = dpi;
  font_ = MessageFont(dpi_);
  // No prefix: a file name's "&" is a letter, not an access key.
  line_ = AddControl(WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0);
  bar_ = AddControl(PROGRESS_CLASSW, 0, 0);
  cancel_ = AddControl(WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP, IDCANCEL);
  Arrange();
}

bool ProgressWindow::Show(const ProgressRequest& progress) {
  SetWindowTextW(hwnd(), Wide(progress.title).c_str());
  SetWindowTextW(line_, Wide(progress.line).c_str());
  SetWindowTextW(cancel_, Wide(progress.cancel).c_str());
  SendMessageW(bar_, PBM_SETRANGE32, 0, static_cast<LPARAM>(progress.total));
  SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(progress.done), 0);
  if (!IsWindowVisible(hwnd())) {
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    SetFocus(cancel_);
  }
  UpdateWindow(hwnd());
  Pump();
  return cancelled_;
}

LRESULT ProgressWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) break;
      [[fallthrough]];
    case WM_CLOSE:  // closing the window cancels, and the batch takes the window away
      cancelled_ = true;
      EnableWindow(cancel_, FALSE);
      return 0;
  }
  return DefWindowProcW(hwnd(), message, wParam, lParam);
}

HWND ProgressWindow::AddControl(const wchar_t* kind, DWORD style, int id) {
  const HWND control = CreateWindowExW(0, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                       hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       GetModuleHandleW(nullptr), nullptr);
  if (!control) ThrowLastError("CreateWindowExW");
  if (font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  return control;
}

// Places the controls, sizes the window around them and centres it on its screen's work area.
void ProgressWindow::Arrange() {
  const auto at = [this](int pixels) { return Scaled(pixels, dpi_); };
  const int barTop = kMargin + kLineHeight + kGap;
  const int buttonTop = barTop + kBarHeight + kGap;
  MoveWindow(line_, at(kMargin), at(kMargin), at(kWidth), at(kLineHeight), FALSE);
  MoveWindow(bar_, at(kMargin), at(barTop), at(kWidth), at(kBarHeight), FALSE);
  MoveWindow(cancel_, at(kMargin + kWidth - kButtonWidth), at(buttonTop), at(kButtonWidth),
             at(kButtonHeight), FALSE);

  RECT frame{0, 0, at(kWidth + 2 * kMargin), at(buttonTop + kButtonHeight + kMargin)};
  AdjustWindowRectExForDpi(&frame, kFrame, FALSE, WS_EX_DLGMODALFRAME, dpi_);
  const SIZE size{frame.right - frame.left, frame.bottom - frame.top};
  CenterInWorkArea(size);
}

// Handles every message that waits, with the keyboard working as in a dialog (Tab, Escape).
void ProgressWindow::Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (IsDialogMessageW(hwnd(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace kartiva::win32
