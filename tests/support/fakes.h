#pragma once

// Hand-written fakes of the ports: a toolkit that records every call with its arguments and answers
// from a script, and a UI that records every box and answers from a script.

#include <deque>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/runtime.h"
#include "core/toolkit.h"

namespace kartiva::testing {

// How the fake answers one call of an operation.
struct Reply {
  ErrorCode code = 0;
  std::optional<std::string> text{};  // the out string, where the operation has one
  std::optional<bool> flag{};         // the out flag of IsClientRunning
  bool noObject = false;              // an open operation hands back no object
  bool failsOutright = false;         // the call fails as a call
};

class FakeToolkit : public ComponentFactory {
 public:
  FakeToolkit();

  // The next call of `operation` gets `reply`; calls beyond the scripted ones get the defaults.
  void Script(const std::string& operation, Reply reply);
  void FailCreation() { creationFails_ = true; }

  // Every call so far, as Operation("string", 1, true), in order.
  std::vector<std::string> calls;

  std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) override;
  // Holds the names as the local store does (unless `holdsNames` is false, as on Windows): counts
  // the calls, runs `onConfirm` and gives `unconfirmed`.
  bool HoldConfirmations() override { return holdsNames; }
  bool holdsNames = true;
  std::vector<std::string> ConfirmHeld() override;
  std::vector<std::string> unconfirmed;
  std::function<void()> onConfirm;
  int confirms = 0;

  // Used by the fake objects.
  Reply Answer(const std::string& operation, std::string call);

 private:
  std::map<std::string, std::deque<Reply>> script_;
  std::map<std::string, Reply> defaults_;
  bool creationFails_ = false;
};

// The calls of `first` followed by those of `second`, as FakeToolkit::calls lists them.
std::vector<std::string> Join(std::vector<std::string> first,
                              const std::vector<std::string>& second);

class ScriptedUi : public Ui {
 public:
  // Answers the next question boxes in this order; unscripted ones get the default button.
  std::deque<Answer> answers;
  std::vector<MsgBoxRequest> boxes;

  Answer Show(const MsgBoxRequest& box) override;

  // The file the next open dialog confirms; empty means the user cancels.
  std::string chosenFile;
  std::vector<FileDialog> dialogs;  // each dialog as it was shown
  void ShowOpen(FileDialog& dialog) override;

  std::string today = "07.12.2026";
  std::string CurrentDateText() override { return today; }

  // Every state of the progress window shown, and whether it is up now; the user cancels at the
  // showing numbered cancelAt (from 1), if set.
  std::vector<ProgressRequest> progress;
  bool progressUp = false;
  std::size_t cancelAt = 0;
  bool ShowProgress(const ProgressRequest& request) override;
  void CloseProgress() override { progressUp = false; }
};

// A client check lock of one instance among others: what the others do while it waits is scripted,
// and each use is recorded with the number of toolkit calls made before it, as "Acquire 0".
class FakeClientCheckLock : public ClientCheckLock {
 public:
  explicit FakeClientCheckLock(const FakeToolkit& toolkit) : toolkit_(toolkit) {}

  bool offered = true;                   // false: the platform has no lock to offer
  std::optional<CheckTime> lastDecline;  // what the instances before this one recorded
  bool declinedWhileWaiting = false;     // another instance records a "No" while this one waits
  std::vector<std::string> uses;

  bool Acquire() override;
  void Release() override { Use("Release"); }
  std::optional<CheckTime> LastDecline() override { return lastDecline; }
  void RecordDecline(CheckTime at) override;

 private:
  void Use(const std::string& what) {
    uses.push_back(what + " " + std::to_string(toolkit_.calls.size()));
  }
  const FakeToolkit& toolkit_;
};

// One test's platform: fakes behind a Runtime with the given command line and title.
struct Rig {
  explicit Rig(std::string commandLine, std::string title = "Mappix");
  FakeToolkit toolkit;
  ScriptedUi ui;
  ProgramFacts facts;
  FakeClientCheckLock checkLock{toolkit};
  SingleFileQueue files{facts.commandLine};
  Runtime runtime{toolkit, ui, facts, checkLock, &files};
};

// Runs `load` as main would and tells how it ended: "end" (End was called), "failure: <code>" (an
// outright failure escaped), or "returned".
std::string RunToEnd(const std::function<void()>& load);

// Shorthands for expected boxes.
MsgBoxRequest Box(std::string text, std::string title, Buttons buttons = Buttons::Ok,
                  Icon icon = Icon::None);
MsgBoxRequest StartQuestion();

}  // namespace kartiva::testing

namespace kartiva {
void PrintTo(const MsgBoxRequest& box, std::ostream* os);
}  // namespace kartiva
