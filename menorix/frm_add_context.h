#pragma once

// frmAddContext, Menorix's one window: small, borderless, with rounded corners and a shaded blue
// background; a version header, the two actions of the context-menu registration, a close button
// and a link to the maker's web page. The window on the screen is a platform adapter
// (ConfiguratorWindow): the form shapes and shades it, and reacts to the events it reports.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/controls.h"
#include "core/form.h"
#include "core/runtime.h"
#include "core/toolkit.h"
#include "menorix/bas_gui.h"
#include "menorix/context_menu.h"
#include "menorix/registry.h"
#include "menorix/window_port.h"

namespace kartiva {

// The maker's web page, which lblWWW names by its host and opens.
struct WebPage {
  std::string_view address;
  std::string_view host;
};
inline constexpr WebPage kMakerWebPage{"https://menorix.kartiva-tools.example/",
                                       "menorix.kartiva-tools.example"};

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
                        .tabIndex = 2,
                        .accessibleName = "Programm beenden"};
  Line Line1{.x1 = 0, .y1 = 500, .x2 = 4680, .y2 = 500, .borderColor = vbWhite};
  CommandButton cmdAppend{
      .caption = "&Aktivieren",
      .position = {1560, 720, 1575, 255},
      .backColor = vbWhite,
      .toolTipText = "",  // names the context menu's owner: set by the constructor
      .tabIndex = 0};
  CommandButton cmdDelete{.caption = "&Deaktivieren",
                          .position = {1560, 1080, 1575, 255},
                          .backColor = vbWhite,
                          .toolTipText = "",  // as cmdAppend's
                          .tabIndex = 1};
  Label lblWWW{.caption = std::string(kMakerWebPage.host),
               .position = {120, 1680, 4455, 255},
               .foreColor = vbWhite,
               .transparent = true,
               .alignment = Alignment::Center,
               .fontBold = true,
               .fontUnderline = true,
               .link = true};

  std::shared_ptr<ToolkitSession> TKSession;

 private:
  void Shade();

  Runtime& runtime_;
  basGUI& gui_;
  ConfiguratorWindow& window_;
  ContextMenu contextMenu_;
  bool loaded_ = true;
};

// Menorix's run: loads the form into the window and lets the user choose until the
// program ends. basGUI's state lives as long as the run.
void RunMenorix(Runtime& runtime, ConfiguratorWindow& window, ClassesRoots classes);

}  // namespace kartiva
