#pragma once

// The configurator where no window can be shown (no display, or KARTIVA_UI=console): the form
// loads as usual into a window that exists only in memory, and its three buttons are offered on
// the console. It prints the window's title and the three choices and reads one line: "a" or
// "aktivieren" runs cmdAppend_Click, "d" or "deaktivieren" runs cmdDelete_Click, anything else or
// the end of input runs cmdEnde_Click.

#include <cstdio>
#include <string_view>

#include "menorix/pixel_buffer.h"
#include "menorix/window_port.h"

namespace kartiva {

// The button that a line typed on the console chooses; case and surrounding blanks do not count.
ControlName ConsoleChoice(std::string_view line);

class ConsoleWindow : public ConfiguratorWindow {
 public:
  // The menu goes to `out`, the choice comes from `in`.
  ConsoleWindow(std::FILE* in, std::FILE* out);

  DrawingTarget& ClientArea() override { return clientArea_; }
  std::int32_t PixelsPerInchX() override { return kPixelsPerInch; }
  std::int32_t PixelsPerInchY() override { return kPixelsPerInch; }
  void SetWindowRgn(const RoundRectRegion&) override {}
  void StartSystemMove() override {}
  bool OpenUrl(const std::string&, const std::string&) override { return false; }
  void Run(frmAddContext& form) override;
  void Close() override {}

 private:
  static constexpr std::int32_t kPixelsPerInch = 96;

  std::FILE* in_;
  std::FILE* out_;
  PixelBuffer clientArea_;
};

}  // namespace kartiva
