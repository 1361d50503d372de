#pragma once

// What a screen reader learns of the labels that a window paints itself. The window's client
// area answers with the labels as its first children, each a piece of text or, where it opens a
// web page, a link that the reader can follow; after them come the child windows (the buttons),
// as the system's own object for the client area reports them.

#include <windows.h>

#include <string>
#include <vector>

namespace kartiva::win32 {

struct AccessibleLabel {
  std::wstring name;  // the text the label shows
  RECT place{};       // in the client area
  bool link = false;
};

// Posted to the window when a screen reader follows a link: wParam is the label's index.
inline constexpr UINT kFollowLabelMessage = WM_APP + 1;

// The answer to WM_GETOBJECT (`wParam`, `lParam`) of `window`, whose painted labels are `labels`:
// the client area's object for OBJID_CLIENT, and 0 for any other, which the system answers then.
LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam,
                        std::vector<AccessibleLabel> labels);

}  // namespace kartiva::win32
