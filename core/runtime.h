#pragma once

// The ports through which the forms reach the platform: message boxes and the program's own facts.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/client_check_lock.h"
#include "core/toolkit.h"

namespace kartiva {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Yes, No };

// The captions of a question's two buttons in the program's own language: the boxes show them
// whatever the user's locale, as they show the program's texts.
struct AnswerWords {
  const char* yes;
  const char* no;
};
inline constexpr AnswerWords kGermanAnswers{"Ja", "Nein"};
inline constexpr AnswerWords kEnglishAnswers{"Yes", "No"};

// A modal message box. The default button is the first of the set (OK, or Yes).
struct MsgBoxRequest {
  std::string text{};
  std::string title{};
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  bool operator==(const MsgBoxRequest&) const = default;
};

// The progress window of a long batch: which file is being done, of how many, and the button
// that cancels the files after it.
struct ProgressRequest {
  std::string title{};
  std::string line{};    // "File 37 of 100: <name>", in the tool's language
  std::string cancel{};  // the cancel button's caption
  std::size_t done = 0;
  std::size_t total = 0;
  bool operator==(const ProgressRequest&) const = default;
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
  // Shows the progress window, or brings it up to date, and lets it handle what the user did
  // since the last call. True once the user asked to cancel.
  virtual bool ShowProgress(const ProgressRequest& progress) = 0;
  // Takes the progress window away, if one is shown.
  virtual void CloseProgress() = 0;
};

// The files a run works on, one after the other: the one on its own command line, and in a
// batch those that other instances of the tool handed over.
class FileQueue {
 public:
  virtual ~FileQueue() = default;
  // The next file to do, once the one before is done; none when the run has no more.
  virtual std::optional<std::string> NextFile() = 0;
  // Keeps a failure box of the file being done, to be shown with the batch's outcome. False when
  // no file is being done or the box is to be shown at once.
  virtual bool Collect(const MsgBoxRequest& box) = 0;
  // Whether a message for the file being done was shown for an earlier file of the batch already:
  // a batch says each such message once.
  virtual bool AlreadyTold(const MsgBoxRequest& box) = 0;
};

struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// What the form runtime tells a program about itself.
struct ProgramFacts {
  std::string commandLine{};  // the whole argument text, as one string
  // The folder the program file lies in, asked for only where something beside the program is
  // needed (the configurator's commands, the GUI module): on Linux finding it costs a look into
  // /proc that a silent run has no use for.
  std::function<std::string()> folder = [] { return std::string(); };
  std::string title{};  // the program's title, the caption of boxes without one of their own
  ProgramVersion version;
  // Whose context menu the configurator's entries join, in the genitive, as its texts name it:
  // the Explorer's on Windows, the file manager's on Linux.
  std::string contextMenuOwner = "des Windows-Explorers";
  // The moment the program started, asked for only when another instance's "No" is to be weighed.
  std::function<CheckTime()> started = [at = CheckTimeNow()] { return at; };
};

// Everything a form needs from outside, handed to it by main.
struct Runtime {
  ComponentFactory& components;
  Ui& ui;
  const ProgramFacts& program;
  ClientCheckLock& clientCheckLock;  // shared with the other instances of the tools
  // The files of the import and store tools, set by the run that loads their form.
  FileQueue* files = nullptr;
  // Set once a box told the user that the tool could not do its job; the program then ends with
  // the exit status kFailureShown, so that a script can tell a failed run from a good one.
  bool failureShown = false;
};

// The files of the run; a form that works on files is only ever loaded with them set.
FileQueue& Files(Runtime& runtime);

// Shows a box; an empty title stands for the program's title. Within a batch, a message that
// only informs is shown once, not once per file.
Answer MsgBox(Runtime& runtime, MsgBoxRequest box);
// Shows a box that reports a failure of the tool's job (an import, an add, a store, a
// registration), and remembers that one was shown; within a batch, a failure of one file is kept
// for the batch's summary instead.
Answer FailureBox(Runtime& runtime, MsgBoxRequest box);

}  // namespace kartiva
