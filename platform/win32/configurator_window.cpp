#include "platform/win32/configurator_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cmath>

#include "menorix/twips.h"
#include "platform/win32/com.h"
#include "platform/win32/label_accessible.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// Accessibility tools name a window by its class where it says more than its title.
constexpr wchar_t kClassName[] = L"Menorix";
// The program's icon in its resources.
constexpr WORD kIconId = 1;
// Button ids start above the ids that a dialog's keyboard handling sends (IDOK, IDCANCEL...).
constexpr int kFirstButtonId = 100;

// A system colour is the index of GetSysColor in its low byte; any other colour has the layout of
// a COLORREF already.
COLORREF ColorRefOf(OleColor color) {
  if (IsSystemColor(color)) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

RECT RectOf(const PixelRect& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

int CommandId(const ButtonControl& control) {
  return kFirstButtonId + static_cast<int>(control.name);
}

// The form's font for a screen of `dpi` pixels per inch: 8.25 pt is 11 pixels at 96.
UniqueGdiObject<HFONT> FormFont(std::int32_t dpi, bool bold, bool underline) {
  LOGFONTW font{};
  const int hundredthsOfPoints = static_cast<int>(std::lround(frmAddContext::kFontSize * 100));
  font.lfHeight = -MulDiv(hundredthsOfPoints, dpi, 72 * 100);
  font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  font.lfUnderline = underline ? TRUE : FALSE;
  font.lfCharSet = DEFAULT_CHARSET;
  Wide(frmAddContext::kFontName).copy(font.lfFaceName, LF_FACESIZE - 1);
  return UniqueGdiObject<HFONT>(CreateFontIndirectW(&font));
}

UniqueGdiObject<HBITMAP> CompatibleBitmap(HWND window, SIZE size) {
  const WindowDc screen(window);
  return UniqueGdiObject<HBITMAP>(CreateCompatibleBitmap(screen.get(), size.cx, size.cy));
}

UINT AlignmentOf(Alignment alignment) {
  switch (alignment) {
    case Alignment::Center:
      return DT_CENTER;
    case Alignment::Right:
      return DT_RIGHT;
    case Alignment::Left:
      break;
  }
  return DT_LEFT;
}

std::int16_t ShiftOf(WPARAM keys) {
  return static_cast<std::int16_t>((keys & MK_SHIFT ? vbShiftMask : 0) |
                                   (keys & MK_CONTROL ? vbCtrlMask : 0) |
                                   (GetKeyState(VK_MENU) < 0 ? vbAltMask : 0));
}

POINT PointOf(LPARAM position) { return {GET_X_LPARAM(position), GET_Y_LPARAM(position)}; }

// A button's window text, which screen readers read as its name: the caption the window draws,
// unless the form gives it a name of its own (the close button draws "X").
std::wstring AccessibleText(const CommandButton& button) {
  return Wide(button.accessibleName.empty() ? button.caption : button.accessibleName);
}

void SetTextIfChanged(HWND window, const std::wstring& text) {
  std::wstring shown(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  shown.resize(static_cast<std::size_t>(
      GetWindowTextW(window, shown.data(), static_cast<int>(shown.size()))));
  if (shown != text) SetWindowTextW(window, text.c_str());
}

}  // namespace

BackBuffer::BackBuffer(HWND window, SIZE size)
    : window_(window),
      size_(size),
      dc_(CreateCompatibleDC(nullptr)),
      bitmap_(CompatibleBitmap(window, size)),
      selected_(dc_.get(), bitmap_.get()) {
  if (!dc_.get() || !bitmap_) ThrowLastError("CreateCompatibleBitmap");
  PatBlt(dc_.get(), 0, 0, size.cx, size.cy, WHITENESS);
}

std::int32_t BackBuffer::GetDeviceCaps(std::int32_t index) {
  const WindowDc screen(window_);
  return ::GetDeviceCaps(screen.get(), index);
}

BrushHandle BackBuffer::CreateSolidBrush(OleColor color) {
  return static_cast<BrushHandle>(
      reinterpret_cast<std::uintptr_t>(::CreateSolidBrush(ColorRefOf(color))));
}

void BackBuffer::FillRect(const PixelRect& rect, BrushHandle brush) {
  if (brush == BrushHandle{}) return;
  const RECT area = RectOf(rect);
  ::FillRect(dc_.get(), &area, reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(brush)));
  InvalidateRect(window_, &area, FALSE);
}

void BackBuffer::DeleteObject(BrushHandle brush) noexcept {
  ::DeleteObject(reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(brush)));
}

void BackBuffer::CopyTo(HDC target, const RECT& area) const {
  BitBlt(target, area.left, area.top, area.right - area.left, area.bottom - area.top, dc_.get(),
         area.left, area.top, SRCCOPY);
}

WindowsConfiguratorWindow::WindowsConfiguratorWindow() {
  const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                    0, 0, LR_DEFAULTSIZE | LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId),
                                                      IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  // No title bar, no border, no minimize or maximize box; the system menu lets the taskbar close
  // the window.
  Create(windowClass, WS_POPUP | WS_SYSMENU | WS_CLIPCHILDREN, 0, RECT{0, 0, 0, 0});

  // Per-monitor aware (see the manifest): the resolution of the screen the window is on.
  if (const UINT dpi = GetDpiForWindow(hwnd()); dpi != 0) dpi_ = static_cast<std::int32_t>(dpi);
  const SIZE size{TwipsToPixels(frmAddContext::kClientWidth, dpi_),
                  TwipsToPixels(frmAddContext::kClientHeight, dpi_)};
  buffer_ = std::make_unique<BackBuffer>(hwnd(), size);
  font_ = FormFont(dpi_, false, false);

  CenterInWorkArea(size);
}

WindowsConfiguratorWindow::~WindowsConfiguratorWindow() { Destroy(); }

void WindowsConfiguratorWindow::SetWindowRgn(const RoundRectRegion& region) {
  UniqueGdiObject<HRGN> outline(CreateRoundRectRgn(region.bounds.left, region.bounds.top,
                                                   region.bounds.right, region.bounds.bottom,
                                                   region.ellipseWidth, region.ellipseHeight));
  if (outline && ::SetWindowRgn(hwnd(), outline.get(), TRUE)) outline.release();
}

// The window system moves the window as for a press on a title bar, until the button is released.
void WindowsConfiguratorWindow::StartSystemMove() {
  ReleaseCapture();
  SendMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

bool WindowsConfiguratorWindow::OpenUrl(const std::string& address,
                                        const std::string& workingFolder) {
  const std::wstring url = Wide(address);
  const std::wstring folder = Wide(workingFolder);
  const HINSTANCE result = ShellExecuteW(hwnd(), L"open", url.c_str(), nullptr,
                                         folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
  // Success is a value above 32, handed back in the place of an instance handle.
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void WindowsConfiguratorWindow::Run(frmAddContext& form) {
  form_ = &form;
  CreateControls();
  Sync();
  form.Resize();  // Form_Resize, raised as the window is first shown
  // The form runtime gives the focus to the control with the lowest tab index.
  if (!buttons_.empty()) focused_ = buttons_.front().window;
  ShowWindow(hwnd(), SW_SHOWNORMAL);
  UpdateWindow(hwnd());
  if (focused_) SetFocus(focused_);
  RunMessageLoop();
}

void WindowsConfiguratorWindow::Close() {
  closedByForm_ = true;
  ShowWindow(hwnd(), SW_HIDE);
}

void WindowsConfiguratorWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance, nullptr);

  for (const ButtonControl& control : ButtonsInTabOrder(*form_)) {
    const CommandButton& button = form_->*control.member;
    const PixelRect place = ControlRect(button.position, dpi_, dpi_);
    // BS_OWNERDRAW stands alone: the window draws the whole button in WM_DRAWITEM.
    const HWND window = CreateWindowExW(
        0, WC_BUTTONW, AccessibleText(button).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, place.left, place.top,
        place.right - place.left, place.bottom - place.top, hwnd(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(CommandId(control))), instance, nullptr);
    if (!window) ThrowLastError("CreateWindowExW");
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    buttons_.push_back({control, window});
    AddTool(TTF_IDISHWND | TTF_SUBCLASS, reinterpret_cast<UINT_PTR>(window), RECT{});
  }

  for (std::size_t i = 0; i < std::size(kLabelControls); ++i) {
    const Label& label = form_->*kLabelControls[i].member;
    labelFonts_.push_back(FormFont(dpi_, label.fontBold, label.fontUnderline));
    AddTool(TTF_SUBCLASS, i, LabelRect(i));
  }
}

// A tooltip for a child window (TTF_IDISHWND, id the window) or for a place of the client area.
void WindowsConfiguratorWindow::AddTool(UINT flags, UINT_PTR id, const RECT& place) {
  if (!tooltip_) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = flags;
  tool.hwnd = hwnd();
  tool.uId = id;
  tool.rect = place;
  wchar_t none[] = L"";
  tool.lpszText = none;  // the tooltip keeps a copy
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void WindowsConfiguratorWindow::SetToolText(UINT_PTR id, const std::string& text) {
  if (!tooltip_) return;
  std::wstring wide = Wide(text);
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = hwnd();
  tool.uId = id;
  tool.lpszText = wide.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void WindowsConfiguratorWindow::Sync() {
  SetTextIfChanged(hwnd(), Wide(form_->Caption));
  for (const Button& button : buttons_) {
    const CommandButton& control = form_->*button.control.member;
    SetTextIfChanged(button.window, AccessibleText(control));
    EnableWindow(button.window, control.enabled);
    SetToolText(reinterpret_cast<UINT_PTR>(button.window), control.toolTipText);
  }
  for (std::size_t i = 0; i < std::size(kLabelControls); ++i) {
    SetToolText(i, (form_->*kLabelControls[i].member).toolTipText);
    const RECT place = LabelRect(i);
    InvalidateRect(hwnd(), &place, FALSE);
  }
}

// Hands an event to the form. An exception leaves through the window procedure's border, which
// ends the message loop; otherwise the window shows what the handler changed.
template <typename Event>
void WindowsConfiguratorWindow::Dispatch(const Event& event) {
  if (!form_) return;
  event(static_cast<WindowEvents&>(*form_));
  Sync();
}

LRESULT WindowsConfiguratorWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_PAINT:
      Paint();
      return 0;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Resized({LOWORD(lParam), HIWORD(lParam)});
      return 0;
    case WM_LBUTTONDOWN:
      MouseDown(vbLeftButton, wParam, PointOf(lParam));
      return 0;
    case WM_RBUTTONDOWN:
      MouseDown(vbRightButton, wParam, PointOf(lParam));
      return 0;
    case WM_MBUTTONDOWN:
      MouseDown(vbMiddleButton, wParam, PointOf(lParam));
      return 0;
    case WM_LBUTTONUP:
      MouseUp(vbLeftButton, wParam, PointOf(lParam));
      return 0;
    case WM_RBUTTONUP:
      MouseUp(vbRightButton, wParam, PointOf(lParam));
      return 0;
    case WM_MBUTTONUP:
      MouseUp(vbMiddleButton, wParam, PointOf(lParam));
      return 0;
    case WM_ACTIVATE:
      // The focused button keeps the focus over a switch to another window, as in a dialog.
      if (LOWORD(wParam) == WA_INACTIVE) {
        if (const Button* button = ButtonOf(GetFocus())) focused_ = button->window;
      }
      break;
    case WM_SETFOCUS:
      if (focused_) SetFocus(focused_);
      return 0;
    case WM_CAPTURECHANGED:
      pressedLabel_.reset();
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) == hwnd() && LOWORD(lParam) == HTCLIENT &&
          SetLabelCursor()) {
        return TRUE;
      }
      break;
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_CLOSE:
      // Closed from outside (Alt+F4, the taskbar): the form unloads and ends the program. The
      // window itself goes when its owner is done with it.
      if (form_ && !closedByForm_) Dispatch([](WindowEvents& form) { form.Closed(); });
      return 0;
    case WM_DESTROY:
      if (looping()) PostQuitMessage(0);
      return 0;
    case WM_GETOBJECT:
      if (const LRESULT object = AnswerGetObject(hwnd(), wParam, lParam, AccessibleLabels())) {
        return object;
      }
      break;
    case kFollowLabelMessage:
      FollowLink(static_cast<std::size_t>(wParam));
      return 0;
    default:
      break;
  }
  // WM_DPICHANGED is left to the system as well: the window keeps the layout it was loaded with,
  // as the form computes its outline once.
  return DefWindowProcW(hwnd(), message, wParam, lParam);
}

void WindowsConfiguratorWindow::Paint() {
  const PaintDc paint(hwnd());
  if (buffer_) buffer_->CopyTo(paint.get(), paint.area());
  if (!form_) return;
  PaintLine(paint.get());
  PaintLabels(paint.get());
}

void WindowsConfiguratorWindow::PaintLine(HDC dc) const {
  const Line& line = form_->Line1;
  const UniqueGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, ColorRefOf(line.borderColor)));
  const Selection selected(dc, pen.get());
  MoveToEx(dc, TwipsToPixels(line.x1, dpi_), TwipsToPixels(line.y1, dpi_), nullptr);
  LineTo(dc, TwipsToPixels(line.x2, dpi_), TwipsToPixels(line.y2, dpi_));
}

void WindowsConfiguratorWindow::PaintLabels(HDC dc) const {
  const SavedDcState state(dc);
  SetBkMode(dc, TRANSPARENT);
  for (std::size_t i = 0; i < std::size(kLabelControls) && i < labelFonts_.size(); ++i) {
    const Label& label = form_->*kLabelControls[i].member;
    const Selection font(dc, labelFonts_[i].get());
    SetTextColor(dc, ColorRefOf(label.foreColor));
    const std::wstring text = Wide(label.caption);
    RECT place = LabelRect(i);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place,
              AlignmentOf(label.alignment) | DT_TOP | DT_WORDBREAK);
  }
}

// A raised face in the button's own colour, sunken while pressed, with the caption centred.
void WindowsConfiguratorWindow::DrawButton(const DRAWITEMSTRUCT& item) const {
  const Button* button = item.CtlType == ODT_BUTTON ? ButtonOf(item.hwndItem) : nullptr;
  if (!button || !form_) return;
  const CommandButton& control = form_->*button->control.member;
  const HDC dc = item.hDC;
  const SavedDcState state(dc);
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;

  RECT face = item.rcItem;
  {
    const UniqueGdiObject<HBRUSH> brush(::CreateSolidBrush(ColorRefOf(control.backColor)));
    if (brush) ::FillRect(dc, &face, brush.get());
  }
  DrawEdge(dc, &face, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);
  if (pressed) OffsetRect(&face, 1, 1);

  const Selection font(dc, font_.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(item.itemState & ODS_DISABLED ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  const std::wstring caption = Wide(control.caption);
  DrawTextW(
      dc, caption.c_str(), static_cast<int>(caption.size()), &face,
      DT_CENTER | DT_VCENTER | DT_SINGLELINE | (item.itemState & ODS_NOACCEL ? DT_HIDEPREFIX : 0));
  if (item.itemState & ODS_FOCUS) {
    // A button 17 pixels high (at 96 DPI) leaves no row between the caption and a focus
    // rectangle 3 pixels in: its lower line would cover the access key's underline. The lines run
    // one pixel inside the button, over its edge, instead.
    RECT focus = item.rcItem;
    InflateRect(&focus, -3, -1);
    DrawFocusRect(dc, &focus);
  }
}

// A new size gets a new buffer, shaded by Form_Resize; the size the buffer has already changes
// nothing.
void WindowsConfiguratorWindow::Resized(SIZE size) {
  if (!buffer_ || (buffer_->size().cx == size.cx && buffer_->size().cy == size.cy)) return;
  buffer_ = std::make_unique<BackBuffer>(hwnd(), size);
  Dispatch([](WindowEvents& form) { form.Resize(); });
}

void WindowsConfiguratorWindow::Command(WORD id, WORD code) {
  if (id == IDOK) {
    // Return, as the dialog keyboard handling reports it: it presses the focused button.
    if (const Button* button = ButtonOf(GetFocus())) SendMessageW(button->window, BM_CLICK, 0, 0);
    return;
  }
  if (code != BN_CLICKED) return;
  for (const Button& button : buttons_) {
    if (CommandId(button.control) != id) continue;
    const ControlName name = button.control.name;
    Dispatch([name](WindowEvents& form) { form.Click(name); });
    return;
  }
}

// A press on a label belongs to the label, which captures the mouse until every button is up
// again; a press anywhere else belongs to the form.
void WindowsConfiguratorWindow::MouseDown(std::int16_t button, WPARAM keys, POINT at) {
  if (!pressedLabel_) {
    pressedLabel_ = LabelAt(at);
    if (pressedLabel_) SetCapture(hwnd());
  }
  ControlName control = ControlName::Form;
  POINT origin{0, 0};
  if (pressedLabel_) {
    control = kLabelControls[*pressedLabel_].name;
    const RECT place = LabelRect(*pressedLabel_);
    origin = {place.left, place.top};
  }
  const float x = PixelsToTwips(at.x - origin.x, dpi_);
  const float y = PixelsToTwips(at.y - origin.y, dpi_);
  const std::int16_t shift = ShiftOf(keys);
  Dispatch([&](WindowEvents& form) { form.MouseDown(control, button, shift, x, y); });
}

// The release of a label's press; a release of the left button over the label clicks it.
void WindowsConfiguratorWindow::MouseUp(std::int16_t button, WPARAM keys, POINT at) {
  const std::optional<std::size_t> label = pressedLabel_;
  if (label && (keys & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0) ReleaseCapture();
  ControlName control = ControlName::Form;
  RECT place{0, 0, 0, 0};
  if (label) {
    control = kLabelControls[*label].name;
    place = LabelRect(*label);
  }
  const float x = PixelsToTwips(at.x - place.left, dpi_);
  const float y = PixelsToTwips(at.y - place.top, dpi_);
  const std::int16_t shift = ShiftOf(keys);
  Dispatch([&](WindowEvents& form) { form.MouseUp(control, button, shift, x, y); });
  if (label && button == vbLeftButton && PtInRect(&place, at)) {
    Dispatch([control](WindowEvents& form) { form.Click(control); });
  }
}

// The pointer of the label under the mouse, where the label has one of its own.
bool WindowsConfiguratorWindow::SetLabelCursor() const {
  POINT at{};
  if (!form_ || !GetCursorPos(&at) || !ScreenToClient(hwnd(), &at)) return false;
  const std::optional<std::size_t> label = LabelAt(at);
  if (!label || (form_->*kLabelControls[*label].member).mousePointer != vbArrowQuestion)
    return false;
  SetCursor(LoadCursorW(nullptr, IDC_HELP));
  return true;
}

RECT WindowsConfiguratorWindow::LabelRect(std::size_t index) const {
  return RectOf(ControlRect((form_->*kLabelControls[index].member).position, dpi_, dpi_));
}

std::optional<std::size_t> WindowsConfiguratorWindow::LabelAt(POINT at) const {
  if (!form_) return std::nullopt;
  for (std::size_t i = std::size(kLabelControls); i-- > 0;) {
    const RECT place = LabelRect(i);
    if (PtInRect(&place, at)) return i;
  }
  return std::nullopt;
}

std::vector<AccessibleLabel> WindowsConfiguratorWindow::AccessibleLabels() const {
  std::vector<AccessibleLabel> labels;
  if (!form_) return labels;
  for (std::size_t i = 0; i < std::size(kLabelControls); ++i) {
    const Label& label = form_->*kLabelControls[i].member;
    labels.push_back({Wide(label.caption), LabelRect(i), label.link});
  }
  return labels;
}

// A screen reader follows a link as a left click on it would.
void WindowsConfiguratorWindow::FollowLink(std::size_t index) {
  if (!form_ || index >= std::size(kLabelControls)) return;
  if (!(form_->*kLabelControls[index].member).link) return;
  const ControlName control = kLabelControls[index].name;
  Dispatch([control](WindowEvents& form) { form.Click(control); });
}

const WindowsConfiguratorWindow::Button* WindowsConfiguratorWindow::ButtonOf(HWND window) const {
  for (const Button& button : buttons_) {
    if (button.window == window) return &button;
  }
  return nullptr;
}

}  // namespace kartiva::win32
