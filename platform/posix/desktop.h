#pragma once

// The programs' UI on Linux: Qt dialogs and windows when a display is there, the console
// otherwise. Qt lives in a module of its own that is loaded when the first box or window is shown,
// so a run that shows nothing loads no GUI library.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/program.h"
#include "core/runtime.h"
#include "menorix/window_port.h"
#include "platform/posix/console_ui.h"
#include "platform/program_main.h"
#include "platform/qt/gui_module.h"

namespace kartiva::posix {

// Whether Qt is worth asking to start: KARTIVA_UI is not "console", and QT_QPA_PLATFORM names a
// platform other than offscreen and minimal, which show nothing, or WAYLAND_DISPLAY or DISPLAY
// names a display that answers. Qt ends the process when it cannot reach its display, so a local
// display is asked first; a display on another host (as ssh forwards it) is taken as it stands.
// The Qt module is then opened only when QtShowsWindows says that Qt starts, or said so before in
// the same circumstances (qt_probe_memory.h).
bool WantsGui();

class DesktopUi : public Ui {
 public:
  // `programFolder` holds the Qt module; boxes on the console read `in` and write `out`; every
  // question's buttons say `answers`.
  DesktopUi(std::string programFolder, AnswerWords answers, std::FILE* in, std::FILE* out);
  ~DesktopUi() override;
  DesktopUi(const DesktopUi&) = delete;
  DesktopUi& operator=(const DesktopUi&) = delete;

  Answer Show(const MsgBoxRequest& box) override;
  void ShowOpen(FileDialog& dialog) override;
  std::string CurrentDateText() override { return console_.CurrentDateText(); }
  bool ShowProgress(const ProgressRequest& progress) override;
  void CloseProgress() override;

  // The configurator's Qt window, or null where no window can be shown.
  std::unique_ptr<ConfiguratorWindow> CreateConfiguratorWindow();

 private:
  // The Qt module, loaded on the first call; null when no display is there or it cannot load.
  qt::GuiModule* Gui();

  std::string programFolder_;
  AnswerWords answers_;
  ConsoleUi console_;
  bool loadTried_ = false;
  std::unique_ptr<qt::GuiModule> gui_;
};

// How a program runs its form and makes its exit status: RunForm, or RunBatch over an endpoint.
using FormRunner = std::function<int(Runtime&, const std::function<void()>& loadForm)>;

// Builds a program's platform objects and runs `load` with them through `run`.
[[nodiscard]] int RunOnDesktop(int argc, char** argv, const ProgramIdentity& identity,
                               const std::function<void(Runtime&, DesktopUi&)>& load,
                               const FormRunner& run = RunForm);

}  // namespace kartiva::posix
