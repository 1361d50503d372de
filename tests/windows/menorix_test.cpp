// Menorix.exe as the user meets it under Xvfb (24 bits per pixel, 96 pixels per inch): its shaped,
// shaded window read off the screen, dragged by its background, its tooltips and link, and
// "Aktivieren" answered through its confirmation box, which leaves the entries in Wine's registry.
// Removal through the registry is tested in-process (windows_registry_test.cpp).

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/com.h"
#include "tests/windows/support/boxes.h"
#include "tests/windows/support/wine_rig.h"

namespace kartiva::wintest {
namespace {

constexpr wchar_t kTitle[] = L"Menorix - V. 1.1 - Konfiguration";
constexpr int kWidth = 312;  // 4680 x 1965 twips at 15 twips per pixel
constexpr int kHeight = 131;
const std::wstring kImportCommand = L"*\\shell\\In KV5-Briefkorb importieren\\command";
const std::wstring kStoreCommand = L"*\\shell\\In KV5-Archiv ablegen\\command";

// Places in the client area, in pixels at 96 pixels per inch.
constexpr POINT kBackground{40, 95};  // no control there
constexpr POINT kAppend{156, 56};     // the middle of cmdAppend
constexpr POINT kLink{156, 120};      // on lblWWW's text
constexpr RECT kLinkPlace{8, 112, 305, 129};

COLORREF Rgb(int red, int green, int blue) { return RGB(red, green, blue); }

// What a screen reader learns of one child of the client area.
struct AccessibleChild {
  std::string name;
  long role = 0;
  bool operator==(const AccessibleChild&) const = default;
};

void PrintTo(const AccessibleChild& child, std::ostream* out) {
  *out << '"' << child.name << "\" role " << child.role;
}

// The client area's children as a screen reader asks for them through the window's object, and
// the child that it finds at `at` (client coordinates), or an empty name where it finds none.
struct ClientObject {
  std::vector<AccessibleChild> children;
  AccessibleChild atPoint;
  HRESULT outside = E_FAIL;  // the answer for a point left of the window
};

AccessibleChild ChildOf(IAccessible* object, long id) {
  const win32::Variant child = win32::Variant::FromInt32(id);
  AccessibleChild found;
  BSTR text = nullptr;
  const HRESULT named = object->get_accName(*child, &text);
  win32::Bstr name;
  name.reset(text);  // freed with the owner
  if (named == S_OK && text) found.name = Narrow(text);
  win32::Variant role;
  if (object->get_accRole(*child, role.get()) == S_OK && (*role).vt == VT_I4) {
    found.role = (*role).lVal;
  }
  return found;
}

ClientObject ReadClientObject(HWND window, POINT at) {
  // The object comes from the other process through COM.
  const win32::ComApartment apartment;
  ClientObject read;
  win32::ComPtr<IAccessible> object;
  const HRESULT got = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                                 IID_IAccessible, object.ReceiveVoid());
  if (FAILED(got) || !object) {
    ADD_FAILURE() << "no accessible object: " << std::hex << got;
    return read;
  }
  long count = 0;
  object->get_accChildCount(&count);
  for (long id = 1; id <= count; ++id) {
    win32::ComPtr<IDispatch> own;
    if (object->get_accChild(*win32::Variant::FromInt32(id),
                             reinterpret_cast<IDispatch**>(own.ReceiveVoid())) == S_OK &&
        own) {
      // A child window with an object of its own, which names itself.
      win32::ComPtr<IAccessible> accessible;
      if (SUCCEEDED(own->QueryInterface(IID_IAccessible, accessible.ReceiveVoid()))) {
        read.children.push_back(ChildOf(accessible.get(), CHILDID_SELF));
      }
    } else {
      read.children.push_back(ChildOf(object.get(), id));
    }
  }
  ClientToScreen(window, &at);
  win32::Variant hit;
  if (object->accHitTest(at.x, at.y, hit.get()) == S_OK && (*hit).vt == VT_I4) {
    read.atPoint = ChildOf(object.get(), (*hit).lVal);
  }
  hit.reset();
  RECT place{};
  GetWindowRect(window, &place);
  read.outside = object->accHitTest(place.left - 5, place.top + 5, hit.get());
  return read;
}

// Rows of the 256-band shading (16 to 32 bits per pixel) and the line across: the closing fill in
// row 0, band 254 in row 1, band 50 with its top in row 106 above band 51, and band 3 in row 129
// (band 1 in row 130 lies on the outline's lower edge, which CreateRoundRectRgn leaves out).
struct Row {
  int y;
  COLORREF color;
};
const Row kRows[] = {
    {0, Rgb(56, 108, 164)},    {1, Rgb(57, 109, 165)},    {33, Rgb(255, 255, 255)},
    {54, Rgb(108, 154, 200)},  {105, Rgb(156, 196, 232)}, {106, Rgb(157, 197, 233)},
    {129, Rgb(180, 217, 248)},
};
// Columns that no control's text reaches; the labels are transparent.
constexpr int kColumns[] = {20, 280};

// Pixels of the corners, given for the top left corner and mirrored into the other three: well
// outside the 20 x 20 rounding, and just inside it.
constexpr POINT kOutside[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {0, 3}};
constexpr POINT kInside[] = {{10, 1}, {1, 10}, {4, 4}, {7, 7}};
std::vector<POINT> Corners(const POINT& p, int inset) {
  const int right = kWidth - 1 - inset;
  const int bottom = kHeight - 1 - inset;
  return {p, {right - p.x, p.y}, {p.x, bottom - p.y}, {right - p.x, bottom - p.y}};
}

// The window's area of the screen.
struct Screenshot {
  std::vector<COLORREF> pixels;
  COLORREF At(POINT p) const { return pixels[static_cast<std::size_t>(p.y * kWidth + p.x)]; }
};

Screenshot Shoot(const RECT& area) { return {CaptureScreen(area)}; }

// The window's colour in row y where no control is; the outline leaves out the last row, so the
// row above stands in for it.
COLORREF WindowColor(const Screenshot& shown, int y) {
  return shown.At({kColumns[0], std::min(y, kHeight - 2)});
}

// Whether the focused cmdAppend shows its access key's underline whole: a run of six or more
// pixels of the caption's colour inside its edges, which no glyph of "Aktivieren" and no dotted
// focus line draws.
bool ShowsAccessKeyUnderline(const Screenshot& shown) {
  constexpr RECT kInsideAppend{106, 50, 207, 63};  // cmdAppend within its 2-pixel edge
  for (int y = kInsideAppend.top; y < kInsideAppend.bottom; ++y) {
    int run = 0;
    for (int x = kInsideAppend.left; x < kInsideAppend.right; ++x) {
      run = shown.At({x, y}) == GetSysColor(COLOR_BTNTEXT) ? run + 1 : 0;
      if (run >= 6) return true;
    }
  }
  return false;
}

void ExpectBands(const Screenshot& shown) {
  for (const Row& row : kRows) {
    for (int x : kColumns) {
      EXPECT_EQ(shown.At({x, row.y}), row.color) << "row " << row.y << ", column " << x;
    }
  }
}

std::optional<std::wstring> DefaultValue(const std::wstring& path) {
  wchar_t value[1024];
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

// Waits until the mouse pointer is at `at`; false when it never gets there.
bool WaitForCursor(POINT at) {
  for (int i = 0; i < 100; ++i) {
    POINT cursor{};
    if (GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y) return true;
    Sleep(50);
  }
  return false;
}

// The command the configurator writes for a program in BinaryFolder().
std::wstring Command(const wchar_t* program) {
  std::wstring path = BinaryFolder() + L"\\" + program;
  if (path.find(L' ') != std::wstring::npos) path = L"\"" + path + L"\"";
  return path + L" %1";
}

// One run of Menorix.exe against the fake component, until its window shows.
class MenorixRun {
 public:
  MenorixRun() {
    const std::wstring path = BinaryFolder() + L"\\Menorix.exe";
    process_ = StartProcess(path, L"\"" + path + L"\"");
    if (!process_.hProcess) {
      ADD_FAILURE() << "cannot start Menorix.exe: error " << GetLastError();
      return;
    }
    CloseHandle(process_.hThread);
    WaitForInputIdle(process_.hProcess, 10000);
    for (int i = 0; i < 200 && !window_; ++i) {
      const HWND found = FindWindowW(nullptr, kTitle);
      if (found && IsWindowVisible(found)) {
        window_ = found;
      } else {
        Sleep(50);
      }
    }
    if (!window_) ADD_FAILURE() << "no window titled Menorix - V. 1.1 - Konfiguration";
    Sleep(500);  // let the first paint reach the screen
  }
  MenorixRun(const MenorixRun&) = delete;
  MenorixRun& operator=(const MenorixRun&) = delete;
  ~MenorixRun() {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 99);
    }
    CloseHandle(process_.hProcess);
  }

  bool shown() const { return window_ != nullptr; }
  HWND window() const { return window_; }

  // Waits up to 5 seconds until the window is disabled.
  bool WaitForDisabled() const {
    for (int i = 0; i < 100; ++i) {
      if (!IsWindowEnabled(window_)) return true;
      Sleep(50);
    }
    return false;
  }

  RECT Place() const {
    RECT place{};
    GetWindowRect(window_, &place);
    return place;
  }

  // Waits until the window's top left corner is at `corner`; false when it never gets there.
  bool WaitForCorner(POINT corner) const {
    for (int i = 0; i < 100; ++i) {
      const RECT place = Place();
      if (place.left == corner.x && place.top == corner.y) return true;
      Sleep(50);
    }
    return false;
  }

  // The screen position of a point of the client area moved by (dx, dy), as xdotool takes it.
  std::string At(POINT p, int dx = 0, int dy = 0) const {
    const RECT place = Place();
    return std::to_string(place.left + p.x + dx) + " " + std::to_string(place.top + p.y + dy);
  }

  // The text of the tooltip that shows once the mouse rests at `p` of the client area, or "".
  // GetWindowTextW does not ask another process's window for its text: WM_GETTEXT does.
  std::string Tooltip(POINT p) const {
    if (!Xdotool("mousemove " + At(p))) return {};
    for (int i = 0; i < 100; ++i) {
      Sleep(50);
      const HWND tip = FindWindowW(L"tooltips_class32", nullptr);
      wchar_t text[256] = {};
      DWORD_PTR length = 0;
      if (tip && IsWindowVisible(tip) &&
          SendMessageTimeoutW(tip, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                              1000, &length) &&
          length > 0) {
        return Narrow(text);
      }
    }
    return {};
  }

  // Whether the link shows a pixel of `color`, waiting up to 5 seconds for it.
  bool LinkShows(COLORREF color) const {
    for (int i = 0; i < 100; ++i) {
      const RECT place = Place();
      const std::vector<COLORREF> link =
          CaptureScreen({place.left + kLinkPlace.left, place.top + kLinkPlace.top,
                         place.left + kLinkPlace.right, place.top + kLinkPlace.bottom});
      if (std::find(link.begin(), link.end(), color) != link.end()) return true;
      Sleep(50);
    }
    return false;
  }

  // Answers the box the program shows next with `key`, and tells what the box was.
  Box Answer(const std::string& key) {
    HWND box = nullptr;
    for (int i = 0; i < 200 && !(box = FindBox(process_.dwProcessId)); ++i) Sleep(50);
    if (!box) {
      ADD_FAILURE() << "no box";
      return {};
    }
    Box shown = ReadWhenDrawn(process_.hProcess, box);
    EXPECT_TRUE(Press(box, "key " + key) && WaitUntilClosed(box)) << "the box stays";
    return shown;
  }

  [[nodiscard]] DWORD ExitCode() {
    WaitForSingleObject(process_.hProcess, 30000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  const FakeToolkitFiles& files() const { return files_; }

 private:
  FakeToolkitFiles files_;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

class Menorix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterFakeToolkit(), S_OK); }
  void SetUp() override {
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(depth == 16 || depth == 24 || depth == 32) << "a display of " << depth << " bits";
    ASSERT_EQ(dpi, 96);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell");
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell"); }
};

TEST_F(Menorix, ShapedShadedWindowMovesWithALeftDragAndActivatesTheEntries) {
  MenorixRun run;
  ASSERT_TRUE(run.shown());
  // Screen readers name the window by its class and title, and a button by its window text: the
  // close button draws "X" but says what it does.
  wchar_t className[64] = {};
  GetClassNameW(run.window(), className, 64);
  EXPECT_STREQ(className, L"Menorix");
  EXPECT_NE(FindWindowExW(run.window(), nullptr, L"Button", L"Programm beenden"), nullptr);
  // The labels it paints are children of its client area, the web page's a link.
  const ClientObject client = ReadClientObject(run.window(), kLink);
  const AccessibleChild link{"menorix.kartiva-tools.example", ROLE_SYSTEM_LINK};
  ASSERT_GE(client.children.size(), 3u);
  EXPECT_EQ(client.children[0].role, ROLE_SYSTEM_STATICTEXT);
  EXPECT_EQ(client.children[1].role, ROLE_SYSTEM_STATICTEXT);
  EXPECT_EQ(client.children[2], link);
  // Then the three buttons, each through its own window's object (which Wine 8 leaves nameless).
  EXPECT_EQ(client.children.size(), 6u) << ::testing::PrintToString(client.children);
  EXPECT_EQ(client.atPoint, link);
  EXPECT_EQ(client.outside, S_FALSE);
  const RECT first = run.Place();
  ASSERT_EQ(first.right - first.left, kWidth);
  ASSERT_EQ(first.bottom - first.top, kHeight);
  const Screenshot before = Shoot(first);
  ExpectBands(before);
  EXPECT_TRUE(ShowsAccessKeyUnderline(before));

  // A drag with the right button leaves the window where it is; once xdotool has parked the mouse
  // after it, the window has had the whole drag.
  const std::string from = run.At(kBackground);
  const POINT parked{first.left + kBackground.x + 20, first.top + kBackground.y + 10};
  ASSERT_TRUE(Xdotool("mousemove " + from + " mousedown 3 sleep 0.2 mousemove " +
                      run.At(kBackground, 40, 30) + " sleep 0.2 mouseup 3 sleep 0.2 mousemove " +
                      std::to_string(parked.x) + " " + std::to_string(parked.y)));
  ASSERT_TRUE(WaitForCursor(parked));
  Sleep(300);
  EXPECT_EQ(run.Place().left, first.left);
  EXPECT_EQ(run.Place().top, first.top);

  // A drag with the left button moves it.
  ASSERT_TRUE(Xdotool("mousemove " + from + " mousedown 1 sleep 0.2 mousemove " +
                      run.At(kBackground, 40, 30) + " sleep 0.2 mousemove " +
                      run.At(kBackground, 80, 60) + " sleep 0.2 mouseup 1"));
  const POINT moved{first.left + 80, first.top + 60};
  ASSERT_TRUE(run.WaitForCorner(moved))
      << "the window is at " << run.Place().left << ", " << run.Place().top;
  Sleep(300);
  ExpectBands(Shoot(run.Place()));  // repainted from its background at the new place

  EXPECT_EQ(run.Tooltip(kLink), "...zur Menorix-Webseite");
  EXPECT_EQ(run.Tooltip(kAppend),
            "F\xC3\xBCgt dem Kontextmen\xC3\xBC des Windows-Explorers Eintr\xC3\xA4ge hinzu");
  // The link is white until pressed, and dark teal after any button's release. The right button,
  // so that no web page is opened.
  EXPECT_TRUE(run.LinkShows(Rgb(255, 255, 255)));
  ASSERT_TRUE(Xdotool("mousemove " + run.At(kLink) + " click 3"));
  EXPECT_TRUE(run.LinkShows(Rgb(0, 80, 80)));

  ASSERT_TRUE(Xdotool("mousemove " + run.At(kAppend) + " click 1"));
  // While the confirmation is up, the window takes no second click.
  EXPECT_TRUE(run.WaitForDisabled());
  EXPECT_EQ(run.Answer("Return"), (Box{"Menorix",
                                       "Funktion wurde dem Kontextmen\xC3\xBC hinzugef\xC3\xBCgt.",
                                       {"OK"},
                                       "information"}));
  EXPECT_EQ(run.ExitCode(), 0u);
  EXPECT_EQ(DefaultValue(kImportCommand), Command(L"Mappix.exe"));
  EXPECT_EQ(DefaultValue(kStoreCommand), Command(L"Tresolo.exe"));
  EXPECT_EQ(run.files().Log(), (std::vector<std::string>{"new Session", "del Session"}));

  // With the window gone the screen shows what lies behind it: the corners outside the outline
  // showed that already, the places just inside showed the window.
  Sleep(300);
  const Screenshot behind = Shoot(first);
  for (const POINT& p : kOutside) {
    for (const POINT& at : Corners(p, 0)) {
      EXPECT_EQ(before.At(at), behind.At(at)) << "outside at " << at.x << ", " << at.y;
      EXPECT_NE(behind.At(at), WindowColor(before, at.y)) << at.x << ", " << at.y;
    }
  }
  for (const POINT& p : kInside) {
    for (const POINT& at : Corners(p, 1)) {
      EXPECT_EQ(before.At(at), WindowColor(before, at.y)) << "inside at " << at.x << ", " << at.y;
      EXPECT_NE(before.At(at), behind.At(at)) << at.x << ", " << at.y;
    }
  }
}

}  // namespace
}  // namespace kartiva::wintest
