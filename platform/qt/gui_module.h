#pragma once

// The Qt module (libkartiva_qt.so) as the programs see it once they have loaded it. Nothing here
// names Qt, so a program links no GUI library and loads one only when it shows something.

#include <memory>

#include "core/runtime.h"
#include "menorix/window_port.h"

namespace kartiva::qt {

// The desktop's message boxes, file dialog and the configurator's window. Owns the application
// object; windows it created must be gone before it is destroyed.
class GuiModule {
 public:
  virtual ~GuiModule() = default;
  // A question's buttons say `answers`, whatever the locale.
  virtual Answer Show(const MsgBoxRequest& box, const AnswerWords& answers) = 0;
  // A confirmed choice replaces dialog.fileName; a cancel leaves it.
  virtual void ShowOpen(FileDialog& dialog) = 0;
  // The progress window of a batch, shown or brought up to date, with its events handled; true
  // once the user cancelled. CloseProgress takes it away.
  virtual bool ShowProgress(const ProgressRequest& progress) = 0;
  virtual void CloseProgress() = 0;
  // The configurator's window, hidden and sized to the form's client area.
  virtual std::unique_ptr<ConfiguratorWindow> CreateConfiguratorWindow() = 0;
};

// The module's file, looked for in the program's folder.
inline constexpr const char* kModuleFile = "libkartiva_qt.so";

// The module's one entry: starts Qt and returns the module's face, or null when Qt could not
// start. The caller owns the result.
inline constexpr const char* kEntryName = "kartiva_qt_open";
using OpenFunction = GuiModule* (*)();

// The module's check whether Qt starts here on a platform that shows windows to a person: true
// when it does, false when it starts on one that shows nothing (offscreen, minimal). Qt ends the
// process where no platform can start, and some platforms never answer, so the programs ask it in
// a child process of their own before they open the module.
inline constexpr const char* kProbeName = "kartiva_qt_probe";
using ProbeFunction = bool (*)();

}  // namespace kartiva::qt
