#pragma once

// Message boxes, the file-open dialog and the date, the Windows way. Every box and dialog is owned
// by the desktop and brought to the foreground; a box is task-modal, so that it holds the
// program's own windows as an owned box would. A question's buttons speak the program's language,
// not the system's.

#include <memory>
#include <string>

#include "core/runtime.h"

namespace kartiva::win32 {

class ProgressWindow;

class WindowsUi : public Ui {
 public:
  explicit WindowsUi(AnswerWords answers);
  ~WindowsUi() override;
  WindowsUi(const WindowsUi&) = delete;
  WindowsUi& operator=(const WindowsUi&) = delete;

  // MessageBoxW with the buttons, icon and first default button asked for, task-modal: the
  // program's windows (the progress window) wait while it is up. Yes and No bear the program's
  // answer words.
  Answer Show(const MsgBoxRequest& box) override;
  // GetOpenFileNameW, starting in the dialog's folder with its file name filled in.
  void ShowOpen(FileDialog& dialog) override;
  // GetDateFormatEx with the user's short date format.
  std::string CurrentDateText() override;
  // The progress window, made when it is first shown.
  bool ShowProgress(const ProgressRequest& progress) override;
  void CloseProgress() override;

 private:
  std::wstring yes_;
  std::wstring no_;
  std::unique_ptr<ProgressWindow> progress_;
};

}  // namespace kartiva::win32
