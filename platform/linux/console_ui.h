#pragma once

#include <cstdio>

#include "core/runtime.h"

namespace kartiva::linux_os {

// Message boxes and the file dialog on a terminal: a box writes its title and text verbatim to the
// error stream; a question or the dialog reads one line from the input stream. The progress of a
// batch is a line on the error stream per file; a terminal user cancels with Ctrl+C. A question
// shows the initial of `answers.yes` as its default: "[J/n]" or "[Y/n]".
class ConsoleUi : public Ui {
 public:
  ConsoleUi(std::FILE* in, std::FILE* out, AnswerWords answers)
      : in_(in), out_(out), answers_(answers) {}

  Answer Show(const MsgBoxRequest& box) override;
  void ShowOpen(FileDialog& dialog) override;
  std::string CurrentDateText() override;
  bool ShowProgress(const ProgressRequest& progress) override;
  void CloseProgress() override {}

 private:
  bool ReadLine(std::string& line);

  std::FILE* in_;
  std::FILE* out_;
  AnswerWords answers_;
};

// "y", "yes", "j", "ja" in any case and an empty line (the default button Yes) answer Yes.
bool IsYes(const std::string& line);

}  // namespace kartiva::linux_os
