// The configurator's window as a form: what its load prepares, how it reacts to the mouse, the
// link and the ways to end.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "menorix/frm_add_context.h"
#include "menorix/pixel_buffer.h"
#include "menorix/twips.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_registry.h"

namespace kartiva::testing {
namespace {

// A window that records what the form asks of it.
class FakeWindow : public ConfiguratorWindow {
 public:
  PixelBuffer clientArea{312, 131, 32};
  std::int32_t dpiX = 96;
  std::int32_t dpiY = 96;
  std::vector<RoundRectRegion> regions;
  int moves = 0;
  bool urlOpens = true;
  std::vector<std::pair<std::string, std::string>> urls;  // address, working folder
  int runs = 0;
  int closes = 0;

  DrawingTarget& ClientArea() override { return clientArea; }
  std::int32_t PixelsPerInchX() override { return dpiX; }
  std::int32_t PixelsPerInchY() override { return dpiY; }
  void SetWindowRgn(const RoundRectRegion& region) override { regions.push_back(region); }
  void StartSystemMove() override { ++moves; }
  bool OpenUrl(const std::string& address, const std::string& folder) override {
    urls.emplace_back(address, folder);
    return urlOpens;
  }
  void Run(frmAddContext&) override { ++runs; }
  void Close() override { ++closes; }
};

class Configurator : public ::testing::Test {
 protected:
  Configurator() { rig_.facts.version = {1, 1, 0}; }

  Rig rig_{"", "Menorix"};
  MemoryRegistry registry_;
  ClassesRoots classes_{registry_, registry_, registry_};
  basGUI gui_;
  FakeWindow window_;
  frmAddContext form_{rig_.runtime, gui_, window_, classes_};
};

TEST_F(Configurator, LoadCreatesTheSessionTitlesShapesAndShadesTheWindow) {
  form_.Form_Load();

  EXPECT_EQ(rig_.toolkit.calls, std::vector<std::string>{"CreateObject(\"KV5ToolKit.App\")"});
  EXPECT_NE(form_.TKSession, nullptr);
  EXPECT_NE(form_.lblDescr.caption.find("2026"), std::string::npos);
  EXPECT_EQ(form_.lblWWW.caption, "menorix.kartiva-tools.example");
  EXPECT_EQ(form_.lblWWW.mousePointer, vbArrowQuestion);
  EXPECT_EQ(form_.lblWWW.toolTipText, "...zur Menorix-Webseite");
  EXPECT_EQ(window_.regions, (std::vector<RoundRectRegion>{{{0, 0, 312, 131}, 20, 20}}));
  EXPECT_EQ(window_.clientArea.Pixel(0, 130), Rgb(181, 218, 249));
  EXPECT_EQ(window_.clientArea.Pixel(311, 0), Rgb(56, 108, 164));
  EXPECT_TRUE(rig_.ui.boxes.empty());
}

TEST_F(Configurator, VersionTextsWriteMajorAndMinorAsPlainNumbers) {
  const struct {
    ProgramVersion version;
    std::string caption;
    std::string label;
  } versions[] = {
      {{1, 1, 0}, "Menorix - V. 1.1 - Konfiguration", "Menorix V. 1.1"},
      {{1, 10, 0}, "Menorix - V. 1.10 - Konfiguration", "Menorix V. 1.10"},
  };
  for (const auto& v : versions) {
    rig_.facts.version = v.version;
    frmAddContext form(rig_.runtime, gui_, window_, classes_);
    form.Form_Load();
    EXPECT_EQ(form.Caption, v.caption);
    EXPECT_EQ(form.lblVersion.caption, v.label);
  }
}

TEST_F(Configurator, OutlineAndControlsFollowTheScreensTwipsPerPixel) {
  const struct {
    std::int32_t dpiX;
    std::int32_t dpiY;
    RoundRectRegion outline;
    PixelRect lblDescr;  // 120, 265, 2655, 255 twips
  } screens[] = {
      {96, 96, {{0, 0, 312, 131}, 20, 20}, {8, 18, 185, 35}},  // 15 twips per pixel
      {120, 120, {{0, 0, 390, 164}, 20, 20}, {10, 22, 231, 43}},
      // Halves to even: 196.5 to 196, and 26.5, 265.5, 25.5 to 26, 266, 26.
      {144, 144, {{0, 0, 468, 196}, 20, 20}, {12, 26, 278, 52}},
      {72, 72, {{0, 0, 234, 98}, 20, 20}, {6, 13, 139, 26}},
      {192, 96, {{0, 0, 624, 131}, 20, 20}, {16, 18, 370, 35}},
  };
  for (const auto& screen : screens) {
    SCOPED_TRACE(std::to_string(screen.dpiX) + " x " + std::to_string(screen.dpiY) + " dpi");
    FakeWindow window;
    window.dpiX = screen.dpiX;
    window.dpiY = screen.dpiY;
    frmAddContext form(rig_.runtime, gui_, window, classes_);
    form.Form_Load();
    EXPECT_EQ(window.regions, std::vector<RoundRectRegion>{screen.outline});
    EXPECT_EQ(ControlRect(form.lblDescr.position, screen.dpiX, screen.dpiY), screen.lblDescr);
  }
}

TEST_F(Configurator, WithoutTheToolkitTheWindowIsNeverShown) {
  rig_.toolkit.FailCreation();
  EXPECT_EQ(RunToEnd([&] { RunMenorix(rig_.runtime, window_, classes_); }), "failure: 1AD");
  EXPECT_EQ(window_.runs, 0);
  EXPECT_TRUE(window_.regions.empty());
  EXPECT_EQ(window_.clientArea.brushesCreated(), 0);
}

TEST_F(Configurator, OnlyTheLeftButtonOnTheBackgroundDragsTheWindow) {
  form_.Form_Load();
  const struct {
    ControlName control;
    std::int16_t button;
    std::int16_t shift;
    bool drags;
  } presses[] = {
      {ControlName::Form, vbLeftButton, 0, true},
      {ControlName::Form, vbLeftButton, vbShiftMask | vbCtrlMask, true},
      {ControlName::Form, vbRightButton, 0, false},
      {ControlName::Form, vbMiddleButton, 0, false},
      {ControlName::Form, vbLeftButton | vbRightButton, 0, false},
      {ControlName::lblVersion, vbLeftButton, 0, false},
      {ControlName::lblDescr, vbLeftButton, 0, false},
      {ControlName::lblWWW, vbLeftButton, 0, false},
  };
  for (const auto& press : presses) {
    const int before = window_.moves;
    form_.MouseDown(press.control, press.button, press.shift, 100, 100);
    EXPECT_EQ(window_.moves - before, press.drags ? 1 : 0)
        << "control " << static_cast<int>(press.control) << ", button " << press.button;
  }
}

TEST_F(Configurator, LinkStaysDarkTealAfterAClickWhetherThePageOpensOrNot) {
  for (const bool opens : {true, false}) {
    for (const std::int16_t button : {vbLeftButton, vbRightButton}) {
      SCOPED_TRACE(std::string(opens ? "opens" : "fails") + ", button " + std::to_string(button));
      FakeWindow window;
      window.urlOpens = opens;
      frmAddContext form(rig_.runtime, gui_, window, classes_);
      form.Form_Load();
      EXPECT_EQ(form.lblWWW.foreColor, vbWhite);
      form.MouseDown(ControlName::lblWWW, button, 0, 0, 0);
      EXPECT_EQ(form.lblWWW.foreColor, Rgb(0, 160, 160));
      form.MouseUp(ControlName::lblWWW, button, 0, 0, 0);
      EXPECT_EQ(form.lblWWW.foreColor, Rgb(0, 80, 80));
      form.Click(ControlName::lblWWW);
      EXPECT_EQ(form.lblWWW.foreColor, Rgb(0, 80, 80));
      EXPECT_EQ(window.urls, (std::vector<std::pair<std::string, std::string>>{
                                 {"https://menorix.kartiva-tools.example/", "C:\\Tools"}}));
      EXPECT_TRUE(form.loaded());
      EXPECT_EQ(window.closes, 0);
    }
  }
  EXPECT_TRUE(rig_.ui.boxes.empty());
}

TEST_F(Configurator, ClosingReleasesTheSessionAndEndsTheProgram) {
  const struct {
    std::string way;
    std::function<void(frmAddContext&)> close;
  } ways[] = {
      {"the X button", [](frmAddContext& form) { form.Click(ControlName::cmdEnde); }},
      {"the window system", [](frmAddContext& form) { form.Closed(); }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.way);
    FakeWindow window;
    frmAddContext form(rig_.runtime, gui_, window, classes_);
    form.Form_Load();
    const std::weak_ptr<ToolkitSession> session = form.TKSession;
    EXPECT_EQ(RunToEnd([&] { way.close(form); }), "end");
    EXPECT_TRUE(session.expired());
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(window.closes, 1);
  }
  EXPECT_TRUE(rig_.ui.boxes.empty());
}

TEST_F(Configurator, ResizeShadesAgainWithoutMeasuringTheDisplayAgain) {
  form_.Form_Load();
  window_.clientArea = PixelBuffer(312, 131, 15);  // a display that would shade in 32 bands
  form_.Resize();
  EXPECT_EQ(window_.clientArea.deviceCapsQueries(), 0);
  EXPECT_EQ(window_.clientArea.brushesCreated(), 257);  // still 256 bands, as first measured
  EXPECT_EQ(window_.clientArea.Pixel(0, 130), Rgb(181, 218, 249));
  EXPECT_EQ(window_.regions.size(), 1u);
}

}  // namespace
}  // namespace kartiva::testing
