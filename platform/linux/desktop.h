#pragma once

// The programs' UI on Linux: Qt dialogs and windows when a display is there, the console
// otherwise. Qt lives in a module of its own that is loaded when the first box or window is shown,
// so a run that shows nothing loads no GUI library.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/runtime.h"
#include "menorix/window_port.h"
#include "platform/linux/console_ui.h"
#include "platform/qt/gui_module.h"

namespace kartiva::linux_os {

// Whether Qt is worth asking to start: KARTIVA_UI is not "console", and QT_QPA_PLATFORM names a
// platform other than offscreen and minimal, which show nothing, or WAYLAND_DISPLAY or DISPLAY
// names a display that answers. Qt ends the process when it cannot reach its display, so a local
// display is asked first; a display on another host (as ssh forwards it) is taken as it stands.
// The Qt module is then opened only when QtShowsWindows says that Qt starts, or said so before in
// the same circumstances (qt_probe_memory.h).
bool WantsGui();

class DesktopUi : public Ui {
 public:
  // `programFolder` finds the folder that holds the Qt module when the first box or window is
  // shown; boxes on the console read `in` and write `out`; every question's buttons say `answers`.
  DesktopUi(std::function<std::string()> programFolder, AnswerWords answers, std::FILE* in,
            std::FILE* out);
  // Ends the Qt application, if a box or window started it, while the program still runs.
  ~DesktopUi() override;
  DesktopUi(const DesktopUi&) = delete;
  DesktopUi& operator=(const DesktopUi&) = delete;

  Answer Show(const MsgBoxRequest& box) override;
  void ShowOpen(FileDialog& dialog) override;
  std::string CurrentDateText() override { return console_.CurrentDateText(); }
  bool ShowProgress(const ProgressRequest& progress) override;
  void CloseProgress() override;

 private:
  std::function<std::string()> programFolder_;
  AnswerWords answers_;
  ConsoleUi console_;
};

// The Qt module beside the program in `programFolder`, loaded on the first call; null when no
// display is there or it cannot load. A process holds one Qt application and cannot unload Qt, so
// the first call's module serves the whole run, until the DesktopUi ends it.
qt::GuiModule* QtModule(const std::function<std::string()>& programFolder);

// The configurator's Qt window, or null where no window can be shown.
std::unique_ptr<ConfiguratorWindow> CreateConfiguratorWindow(
    const std::function<std::string()>& programFolder);

}  // namespace kartiva::linux_os
