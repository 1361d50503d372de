#pragma once

// frmAddContext, Menorix's one window: small, borderless, with rounded corners and a shaded blue
// background; a version header, the two actions of the context-menu registration, a close button
// and a link to the maker's web page. The window on the screen is a platform adapter
// (ConfiguratorWindow): the form shapes and shades it, and reacts to the events it reports.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "configurator/bas_gui.h"
#include "configurator/context_menu.h"
#include "configurator/registry.h"
#include "core/client_session.h"
#include "core/controls.h"
#include "core/runtime.h"
#include "core/toolkit.h"

namespace kartiva {

// The maker's web page, which lblWWW names by its host and opens.
struct WebPage {
  std::string_view address;
  std::string_view host;
};
inline constexpr WebPage kMakerWebPage{"https://menorix.kartiva-tools.example/",
                                       "menorix.kartiva-tools.example"};

// Twips (1/1440 inch) in pixels of a screen with the given resolution, rounded to the nearest
// pixel with halves to even: the form runtime's twips per pixel are 1440 / pixelsPerInch, which
// is 15 at 96 pixels per inch.
constexpr std::int32_t TwipsToPixels(std::int32_t twips, std::int32_t pixelsPerInch) {
  return static_cast<std::int32_t>(RoundHalfEven(std::int64_t{twips} * pixelsPerInch, 1440));
}

// Pixels of a screen with the given resolution in twips, for the positions the mouse events pass.
constexpr float PixelsToTwips(double pixels, std::int32_t pixelsPerInch) {
  return static_cast<float>(pixels * 1440 / pixelsPerInch);
}

// A control's place in pixels, each of its four measures converted on its own.
constexpr PixelRect ControlRect(const Twips& position, std::int32_t pixelsPerInchX,
                                std::int32_t pixelsPerInchY) {
  const std::int32_t left = TwipsToPixels(position.left, pixelsPerInchX);
  const std::int32_t top = TwipsToPixels(position.top, pixelsPerInchY);
  return {left, top, left + TwipsToPixels(position.width, pixelsPerInchX),
          top + TwipsToPixels(position.height, pixelsPerInchY)};
}

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

// The outline CreateRoundRectRgn(left, top, right, bottom, ellipseWidth, ellipseHeight), in
// pixels of the client area.
struct RoundRectRegion {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t ellipseWidth = 0;
  std::int32_t ellipseHeight = 0;
  bool operator==(const RoundRectRegion&) const = default;
};

// How many pixels the outline cuts off at each end of row y: a pixel belongs to the rounded
// rectangle when its centre lies inside the ellipse of its corner. A row outside the rectangle is
// cut whole. Inline, so that a window adapter loaded as a module needs nothing else of the form.
inline std::int32_t RoundRectRowInset(const RoundRectRegion& region, std::int32_t y) {
  const std::int64_t width = region.right - region.left;
  const std::int64_t height = region.bottom - region.top;
  const std::int64_t row = y - region.top;
  if (row < 0 || row >= height) return static_cast<std::int32_t>(std::max<std::int64_t>(width, 0));
  const std::int64_t ew = std::clamp<std::int64_t>(region.ellipseWidth, 0, width);
  const std::int64_t eh = std::clamp<std::int64_t>(region.ellipseHeight, 0, height);
  const std::int64_t cornerRow = row < eh / 2 ? row : height - 1 - row;
  if (ew == 0 || eh == 0 || cornerRow >= eh / 2) return 0;
  // Inside when ((2x + 1 - ew) / ew)^2 + ((2y + 1 - eh) / eh)^2 <= 1, multiplied out.
  const std::int64_t dy = 2 * cornerRow + 1 - eh;
  const auto inside = [&](std::int64_t x) {
    const std::int64_t dx = 2 * x + 1 - ew;
    return dx * dx * eh * eh + dy * dy * ew * ew <= ew * ew * eh * eh;
  };
  std::int64_t x = 0;
  while (x < ew / 2 && !inside(x)) ++x;
  return static_cast<std::int32_t>(x);
}

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

class frmAddContext : public Form, public WindowEvents {
 public:
  // The window's own shading colours: Color 1 at the top edge, Color 2 at the bottom edge.
  static constexpr std::int32_t kColor1 = 0xA56B39;
  static constexpr std::int32_t kColor2 = 0xF9DAB5;
  static constexpr std::int16_t kDirection = 1;
  // Corner ellipses of the outline, in pixels.
  static constexpr std::int32_t kCornerSize = 20;

  // `classes` are the registry's classes that the two actions change.
  frmAddContext(Runtime& runtime, basGUI& gui, ConfiguratorWindow& window, ClassesRoots classes);
  frmAddContext(const frmAddContext&) = delete;
  frmAddContext& operator=(const frmAddContext&) = delete;

  void Form_Load();
  void Form_Resize();
  void Form_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
  void cmdAppend_Click() { contextMenu_.cmdAppend_Click(); }
  void cmdDelete_Click() { contextMenu_.cmdDelete_Click(); }
  void cmdEnde_Click();
  void lblWWW_Click();
  void lblWWW_MouseDown(std::int16_t Button, std::int16_t Shift, float X, float Y);
  void lblWWW_MouseUp(std::int16_t Button, std::int16_t Shift, float X, float Y);

  // Releases TKSession and takes the window off the screen.
  void Unload() override;
  bool loaded() const { return loaded_; }

  void Click(ControlName control) override;
  void MouseDown(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
                 float Y) override;
  void MouseUp(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
               float Y) override;
  void Resize() override { Form_Resize(); }
  void Closed() override;

  // The window and its controls with their design-time values.
  static constexpr std::int32_t kClientWidth = 4680;
  static constexpr std::int32_t kClientHeight = 1965;
  static constexpr std::string_view kFontName = "Tahoma";
  static constexpr double kFontSize = 8.25;

  std::string Caption;
  Label lblVersion{
      .caption = "", .position = {120, 120, 3975, 255}, .foreColor = vbWhite, .transparent = true};
  Label lblDescr{.caption = "",
                 .position = {120, 265, 2655, 255},
                 .foreColor = vbHighlightText,
                 .transparent = true};
  CommandButton cmdEnde{.caption = "X",
                        .position = {4320, 120, 255, 195},
                        .backColor = vbWhite,
                        .toolTipText = "...beendet das Programm",
                        .tabIndex = 2};
  Line Line1{.x1 = 0, .y1 = 500, .x2 = 4680, .y2 = 500, .borderColor = vbWhite};
  CommandButton cmdAppend{
      .caption = "&Aktivieren",
      .position = {1560, 720, 1575, 255},
      .backColor = vbWhite,
      .toolTipText = "Fügt dem Kontextmenü des Windows-Explorers Einträge hinzu",
      .tabIndex = 0};
  CommandButton cmdDelete{
      .caption = "&Deaktivieren",
      .position = {1560, 1080, 1575, 255},
      .backColor = vbWhite,
      .toolTipText = "Entfernt die Einträge im Kontextmenü des Windows-Explorers",
      .tabIndex = 1};
  Label lblWWW{.caption = std::string(kMakerWebPage.host),
               .position = {120, 1680, 4455, 255},
               .foreColor = vbWhite,
               .transparent = true,
               .alignment = Alignment::Center,
               .fontBold = true,
               .fontUnderline = true};

  std::shared_ptr<ToolkitSession> TKSession;

 private:
  void Shade();

  Runtime& runtime_;
  basGUI& gui_;
  ConfiguratorWindow& window_;
  ContextMenu contextMenu_;
  bool loaded_ = true;
};

// The form's labels and buttons as a window builds them: the name their events carry, the name of
// their control, and the form's member. The labels stand in the order in which they are painted,
// the last one on top.
struct LabelControl {
  ControlName name;
  const char* objectName;
  Label frmAddContext::*label;
};
inline constexpr LabelControl kLabelControls[] = {
    {ControlName::lblVersion, "lblVersion", &frmAddContext::lblVersion},
    {ControlName::lblDescr, "lblDescr", &frmAddContext::lblDescr},
    {ControlName::lblWWW, "lblWWW", &frmAddContext::lblWWW},
};

struct ButtonControl {
  ControlName name;
  const char* objectName;
  CommandButton frmAddContext::*button;
};
inline constexpr ButtonControl kButtonControls[] = {
    {ControlName::cmdAppend, "cmdAppend", &frmAddContext::cmdAppend},
    {ControlName::cmdDelete, "cmdDelete", &frmAddContext::cmdDelete},
    {ControlName::cmdEnde, "cmdEnde", &frmAddContext::cmdEnde},
};

// The buttons in the order of their tab indices, in which the keyboard moves between them. Inline,
// like RoundRectRowInset.
inline std::vector<ButtonControl> ButtonsInTabOrder(const frmAddContext& form) {
  std::vector<ButtonControl> buttons(std::begin(kButtonControls), std::end(kButtonControls));
  std::stable_sort(buttons.begin(), buttons.end(),
                   [&form](const ButtonControl& a, const ButtonControl& b) {
                     return (form.*a.button).tabIndex < (form.*b.button).tabIndex;
                   });
  return buttons;
}

// The configurator's run: loads the form into the window and lets the user choose until the
// program ends. basGUI's state lives as long as the run.
void RunConfigurator(Runtime& runtime, ConfiguratorWindow& window, ClassesRoots classes);

}  // namespace kartiva
