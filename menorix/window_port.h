#pragma once

// The platform's window for Menorix's form: what the form asks of it, and the events it reports.
// Qt, Win32 and the console each implement it.

#include <cstdint>
#include <string>

#include "menorix/bas_gui.h"
#include "menorix/round_rect.h"

namespace kartiva {

// The window's controls, as the events name them.
enum class ControlName { Form, lblVersion, lblDescr, cmdEnde, cmdAppend, cmdDelete, lblWWW };

// What a window reports to its form. Positions are in twips from the control's top left corner.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void Click(ControlName control) = 0;
  virtual void MouseDown(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
                         float Y) = 0;
  virtual void MouseUp(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
                       float Y) = 0;
  virtual void Resize() = 0;
  // The window system closes the window, not one of the form's buttons.
  virtual void Closed() = 0;
};

class frmAddContext;

// The platform's window for frmAddContext: Qt, Win32, or the console where none can be shown.
// It exists, hidden and sized to the form's client area, before the form loads.
class ConfiguratorWindow {
 public:
  virtual ~ConfiguratorWindow() = default;
  // The client area as a device context. What is painted on it stays as the window's background
  // and shows again whenever the window is repainted.
  virtual DrawingTarget& ClientArea() = 0;
  // The screen's resolution in pixels per logical inch.
  virtual std::int32_t PixelsPerInchX() = 0;
  virtual std::int32_t PixelsPerInchY() = 0;
  // Gives the window its outline; nothing outside it is drawn or clickable.
  virtual void SetWindowRgn(const RoundRectRegion& region) = 0;
  // Lets the window system move the window with the mouse until the pressed button is released,
  // as a press on a title bar does.
  virtual void StartSystemMove() = 0;
  // Opens a web address with the desktop's handler; false when nothing could open it.
  virtual bool OpenUrl(const std::string& address, const std::string& workingFolder) = 0;
  // Shows the form's controls and reports the user's input to the form until a handler ends the
  // program (by the exception of End, which Run passes on) or the window has nothing more to ask.
  virtual void Run(frmAddContext& form) = 0;
  // Takes the window off the screen for good.
  virtual void Close() = 0;
};

}  // namespace kartiva
