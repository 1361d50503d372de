#pragma once

// Message boxes, the file-open dialog and the date, the Windows way. Every box and dialog is owned
// by the desktop and brought to the foreground; a box is task-modal, so that it holds the
// program's own windows as an owned box would.

#include "core/runtime.h"

namespace kartiva::win32 {

class WindowsUi : public Ui {
 public:
  // MessageBoxW with the buttons, icon and first default button asked for.
  Answer Show(const MsgBoxRequest& box) override;
  // GetOpenFileNameW, starting in the dialog's folder with its file name filled in.
  void ShowOpen(FileDialog& dialog) override;
  // GetDateFormatEx with the user's short date format.
  std::string CurrentDateText() override;
  // No progress window on Windows yet: its instances do not meet (EveryInstanceAlone), so every
  // run does one file and never asks for one.
  bool ShowProgress(const ProgressRequest&) override { return false; }
  void CloseProgress() override {}
};

}  // namespace kartiva::win32
