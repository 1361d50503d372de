#include "menorix/frm_add_context.h"

#include "core/error.h"
#include "menorix/twips.h"

namespace kartiva {
namespace {

// The line with the years of publication under the version header.
constexpr std::string_view kYearsLine = "© 2026 Kartiva Explorer Tools";

std::string MajorMinor(const ProgramVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor);
}

}  // namespace

frmAddContext::frmAddContext(Runtime& runtime, basGUI& gui, ConfiguratorWindow& window,
                             ClassesRoots classes)
    : runtime_(runtime),
      gui_(gui),
      window_(window),
      contextMenu_(classes, runtime, [this] { cmdEnde_Click(); }) {
  const std::string& owner = runtime.program.contextMenuOwner;
  cmdAppend.toolTipText = "Fügt dem Kontextmenü " + owner + " Einträge hinzu";
  cmdDelete.toolTipText = "Entfernt die Einträge im Kontextmenü " + owner;
}

void frmAddContext::Form_Load() {
  lblWWW.mousePointer = vbArrowQuestion;
  lblWWW.toolTipText = "...zur Menorix-Webseite";

  TKSession = runtime_.components.CreateToolkit(kToolkitProgId);

  Caption = "Menorix - V. " + MajorMinor(runtime_.program.version) + " - Konfiguration";
  lblVersion.caption = "Menorix V. " + MajorMinor(runtime_.program.version);
  lblDescr.caption = std::string(kYearsLine);

  const std::int32_t width = TwipsToPixels(kClientWidth, window_.PixelsPerInchX());
  const std::int32_t height = TwipsToPixels(kClientHeight, window_.PixelsPerInchY());
  window_.SetWindowRgn({{0, 0, width, height}, kCornerSize, kCornerSize});

  Shade();
}

void frmAddContext::Form_Resize() { Shade(); }

void frmAddContext::Shade() {
  gui_.DrawGradient(window_.ClientArea(), kColor1, kColor2, kDirection);
}

void frmAddContext::Form_MouseDown(std::int16_t Button, std::int16_t, float, float) {
  if (Button == vbLeftButton) window_.StartSystemMove();
}

void frmAddContext::cmdEnde_Click() {
  Unload();
  End();
}

void frmAddContext::lblWWW_Click() {
  // Nothing tells the user when no program opens web addresses.
  static_cast<void>(window_.OpenUrl(std::string(kMakerWebPage.address), runtime_.program.folder()));
}

void frmAddContext::lblWWW_MouseDown(std::int16_t, std::int16_t, float, float) {
  lblWWW.foreColor = Rgb(0, 160, 160);
}

void frmAddContext::lblWWW_MouseUp(std::int16_t, std::int16_t, float, float) {
  lblWWW.foreColor = Rgb(0, 80, 80);
}

void frmAddContext::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  TKSession.reset();
  window_.Close();
}

void frmAddContext::Click(ControlName control) {
  switch (control) {
    case ControlName::cmdAppend:
      cmdAppend_Click();
      break;
    case ControlName::cmdDelete:
      cmdDelete_Click();
      break;
    case ControlName::cmdEnde:
      cmdEnde_Click();
      break;
    case ControlName::lblWWW:
      lblWWW_Click();
      break;
    default:
      break;
  }
}

void frmAddContext::MouseDown(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
                              float Y) {
  if (control == ControlName::Form) Form_MouseDown(Button, Shift, X, Y);
  if (control == ControlName::lblWWW) lblWWW_MouseDown(Button, Shift, X, Y);
}

void frmAddContext::MouseUp(ControlName control, std::int16_t Button, std::int16_t Shift, float X,
                            float Y) {
  if (control == ControlName::lblWWW) lblWWW_MouseUp(Button, Shift, X, Y);
}

// Closed by the window system: the form unloads and, with no form left, the program ends.
void frmAddContext::Closed() {
  Unload();
  End();
}

void RunMenorix(Runtime& runtime, ConfiguratorWindow& window, ClassesRoots classes) {
  basGUI gui;
  frmAddContext form(runtime, gui, window, classes);
  form.Form_Load();
  window.Run(form);
}

}  // namespace kartiva
