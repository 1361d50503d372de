#include "tests/windows/support/boxes.h"

#include "tests/windows/support/wine_rig.h"

namespace kartiva::wintest {
namespace {

// Draws with `draw` into a width x height bitmap compatible with the screen and gives its pixels,
// top row first.
template <typename Draw>
std::vector<COLORREF> DrawnPixels(int width, int height, Draw draw) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  draw(memory, screen);
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(memory, x, y));
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// `icon` drawn at the top left of a width x height area filled with `background`.
std::vector<COLORREF> Drawn(HICON icon, int width, int height, COLORREF background) {
  return DrawnPixels(width, height, [&](HDC memory, HDC) {
    HBRUSH brush = CreateSolidBrush(background);
    const RECT area{0, 0, width, height};
    FillRect(memory, &area, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  });
}

// Which system icon the box shows: its icon control's pixels on screen are compared with each
// system icon drawn on the same background (an icon handle of another process cannot be used).
std::string IconOf(HWND box) {
  struct Known {
    const wchar_t* id;
    const char* name;
  };
  const Known known[] = {{IDI_ERROR, "error"},
                         {IDI_QUESTION, "question"},
                         {IDI_WARNING, "warning"},
                         {IDI_INFORMATION, "information"}};
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[16];
    GetClassNameW(child, kind, 16);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (!IsWindowVisible(child) || _wcsicmp(kind, L"Static") != 0 ||
        (style & SS_TYPEMASK) != SS_ICON || SendMessageW(child, STM_GETICON, 0, 0) == 0) {
      continue;
    }
    int width = 0;
    int height = 0;
    const std::vector<COLORREF> shown = Capture(child, width, height);
    for (const Known& k : known) {
      if (Drawn(LoadIconW(nullptr, k.id), width, height, shown.front()) == shown) return k.name;
    }
    return "other";
  }
  return "none";
}

Box Read(HWND window) {
  Box box;
  wchar_t text[4096];
  GetWindowTextW(window, text, 4096);
  box.title = Narrow(text);
  GetDlgItemTextW(window, 0xFFFF, text, 4096);  // the message's static control
  box.text = Narrow(text);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t kind[16];
    GetClassNameW(child, kind, 16);
    if (!IsWindowVisible(child) || _wcsicmp(kind, L"Button") != 0) continue;
    const bool isDefault = (GetWindowLongW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON;
    GetWindowTextW(child, text, 4096);
    std::string caption = Narrow(text);
    std::erase(caption, '&');
    box.buttons.insert(isDefault ? box.buttons.begin() : box.buttons.end(), std::move(caption));
  }
  box.icon = IconOf(window);
  return box;
}

}  // namespace

std::vector<COLORREF> CaptureScreen(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  return DrawnPixels(width, height, [&](HDC memory, HDC screen) {
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  });
}

std::vector<COLORREF> Capture(HWND window, int& width, int& height) {
  RECT area{};
  GetClientRect(window, &area);
  width = area.right;
  height = area.bottom;
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  return CaptureScreen({origin.x, origin.y, origin.x + width, origin.y + height});
}

void PrintTo(const Box& box, std::ostream* out) {
  *out << "{\"" << box.title << "\", \"" << box.text << "\", buttons";
  for (const std::string& caption : box.buttons) *out << " \"" << caption << "\"";
  *out << ", icon " << box.icon << "}";
}

Box ReadWhenDrawn(HANDLE process, HWND window) {
  WaitForInputIdle(process, 5000);
  Box box = Read(window);
  for (int i = 0; i < 20; ++i) {
    Sleep(100);
    Box again = Read(window);
    if (again == box) break;
    box = std::move(again);
  }
  return box;
}

}  // namespace kartiva::wintest
