#pragma once

// What the user sees of another process, read off the screen: the pixels of an area, and a
// message box with its title, text, buttons and icon.

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace kartiva::wintest {

// The pixels of a screen area as the screen shows them, top row first. The screen is read, not a
// window: another process's window cannot be drawn from here.
std::vector<COLORREF> CaptureScreen(const RECT& area);
// The pixels of a window's client area as the screen shows them.
std::vector<COLORREF> Capture(HWND window, int& width, int& height);

// A message box as the user sees it. The text is the box's message, the icon the system icon it
// shows (or "none"); buttons are the buttons' captions without their access keys' marks ("Ja"
// for "&Ja"), the default one first.
struct Box {
  std::string title;
  std::string text;
  std::vector<std::string> buttons;
  std::string icon;
  bool operator==(const Box&) const = default;
};
void PrintTo(const Box& box, std::ostream* out);

// The box once the process has drawn it and the screen shows it: read until two reads agree.
Box ReadWhenDrawn(HANDLE process, HWND window);

}  // namespace kartiva::wintest
