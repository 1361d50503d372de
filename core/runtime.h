#pragma once

// The ports through which the forms reach the platform: message boxes and the program's own facts.

#include <cstdint>
#include <string>

#include "core/client_check_lock.h"
#include "core/toolkit.h"

namespace kartiva {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Yes, No };

// A modal message box. The default button is the first of the set (OK, or Yes).
struct MsgBoxRequest {
  std::string text{};
  std::string title{};
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  bool operator==(const MsgBoxRequest&) const = default;
};

// The state of a file-open dialog control: what it starts in and shows, and the file name it
// holds, which only a confirmed choice changes.
struct FileDialog {
  std::string initialFolder{};
  std::string filter{};  // "Description|pattern" pairs joined by '|'
  std::string fileName{};
};

class Ui {
 public:
  virtual ~Ui() = default;
  virtual Answer Show(const MsgBoxRequest& box) = 0;
  // Shows an open-file dialog; a confirmed choice replaces dialog.fileName, a cancel leaves it.
  virtual void ShowOpen(FileDialog& dialog) = 0;
  // The current date in the user's short date format.
  virtual std::string CurrentDateText() = 0;
};

struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// What the form runtime tells a program about itself.
struct ProgramFacts {
  std::string commandLine{};  // the whole argument text, as one string
  std::string folder{};       // the folder the program file lies in
  std::string title{};        // the program's title, the caption of boxes without one of their own
  ProgramVersion version;
};

// Everything a form needs from outside, handed to it by main.
struct Runtime {
  ComponentFactory& components;
  Ui& ui;
  const ProgramFacts& program;
  ClientCheckLock& clientCheckLock;  // shared with the other instances of the tools
  // Set once a box told the user that the tool could not do its job; the program then ends with
  // the exit status kFailureShown, so that a script can tell a failed run from a good one.
  bool failureShown = false;
};

// Shows a box; an empty title stands for the program's title.
Answer MsgBox(Runtime& runtime, MsgBoxRequest box);
// Shows a box that reports a failure of the tool's job (an import, an add, a store, a
// registration), and remembers that one was shown.
Answer FailureBox(Runtime& runtime, MsgBoxRequest box);

}  // namespace kartiva
