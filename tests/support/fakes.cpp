#include "tests/support/fakes.h"

#include <ostream>

namespace kartiva::testing {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
std::string Flag(bool value) { return value ? "true" : "false"; }

// Gives a fake call its answer: records the call, then fails outright or sets the error code.
template <typename... Args>
Reply Call(FakeToolkit& toolkit, const std::string& operation, ErrorCode& error,
           const Args&... args) {
  std::string call = operation + "(";
  std::string separator;
  ((call += separator + args, separator = ", "), ...);
  Reply reply = toolkit.Answer(operation, call + ")");
  if (reply.failsOutright) throw OutrightFailure(-2147352567, operation + " failed");
  error = reply.code;
  return reply;
}

class FakeBasket : public ToolkitBasket {
 public:
  explicit FakeBasket(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void Open(ErrorCode& error) override { Call(toolkit_, "Basket.Open", error); }
  void AddFile(const std::string& filePath, const std::string& description,
               std::string& newFileName, ErrorCode& error) override {
    newFileName = *Call(toolkit_, "AddFile", error, Quoted(filePath), Quoted(description)).text;
  }

 private:
  FakeToolkit& toolkit_;
};

class FakeArchive : public ToolkitArchive {
 public:
  explicit FakeArchive(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void Open(ErrorCode& error) override { Call(toolkit_, "Archive.Open", error); }
  void StoreFile(const std::string& filePath, std::int32_t mode, bool useMask,
                 bool deleteAfterStoring, const std::string& indexString,
                 ErrorCode& error) override {
    Call(toolkit_, "StoreFile", error, Quoted(filePath), std::to_string(mode), Flag(useMask),
         Flag(deleteAfterStoring), Quoted(indexString));
  }

 private:
  FakeToolkit& toolkit_;
};

class FakeSession : public ToolkitSession {
 public:
  explicit FakeSession(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void StartClient(const std::string& first, const std::string& second, std::int32_t timeout,
                   ErrorCode& error) override {
    Call(toolkit_, "StartClient", error, Quoted(first), Quoted(second), std::to_string(timeout));
  }
  void OpenBasket(const std::string& basketName, std::shared_ptr<ToolkitBasket>& basket,
                  ErrorCode& error) override {
    Reply reply = Call(toolkit_, "OpenBasket", error, Quoted(basketName));
    basket = reply.noObject ? nullptr : std::make_shared<FakeBasket>(toolkit_);
  }
  void SetDocumentName(const std::string& documentName, ErrorCode& error) override {
    Call(toolkit_, "SetDocumentName", error, Quoted(documentName));
  }
  void QueryActiveBasket(std::string& basketName, ErrorCode& error) override {
    basketName = *Call(toolkit_, "QueryActiveBasket", error).text;
  }
  void Refresh(ErrorCode& error) override { Call(toolkit_, "Refresh", error); }
  void OpenArchive(const std::string& archiveName, std::shared_ptr<ToolkitArchive>& archive,
                   ErrorCode& error) override {
    Reply reply = Call(toolkit_, "OpenArchive", error, Quoted(archiveName));
    archive = reply.noObject ? nullptr : std::make_shared<FakeArchive>(toolkit_);
  }
  void ListArchives(std::string& archiveNames, ErrorCode& error) override {
    archiveNames = *Call(toolkit_, "ListArchives", error).text;
  }
  void QueryActiveArchive(std::string& archiveName, ErrorCode& error) override {
    archiveName = *Call(toolkit_, "QueryActiveArchive", error).text;
  }
  void ConvertFile(const std::string& filePath, const std::string& basketName,
                   const std::string& options, std::string& convertedName,
                   ErrorCode& error) override {
    convertedName =
        *Call(toolkit_, "ConvertFile", error, Quoted(filePath), Quoted(basketName), Quoted(options))
             .text;
  }
  void IsClientRunning(bool& running, ErrorCode& error) override {
    running = *Call(toolkit_, "IsClientRunning", error).flag;
  }

 private:
  FakeToolkit& toolkit_;
};

}  // namespace

FakeToolkit::FakeToolkit() {
  defaults_["IsClientRunning"] = {.flag = true};
  defaults_["QueryActiveBasket"] = {.text = "Eingang"};
  defaults_["QueryActiveArchive"] = {.text = "Rechnungen"};
  defaults_["ListArchives"] = {.text = "Rechnungen,Verträge"};
  defaults_["AddFile"] = {.text = "C:\\Kartiva\\Eingang\\00000042.001"};
  defaults_["ConvertFile"] = {.text = "C:\\Kartiva\\Eingang\\converted.tif"};
}

void FakeToolkit::Script(const std::string& operation, Reply reply) {
  script_[operation].push_back(std::move(reply));
}

std::shared_ptr<ToolkitSession> FakeToolkit::CreateToolkit(std::string_view progId) {
  calls.push_back("CreateObject(" + Quoted(std::string(progId)) + ")");
  if (creationFails_) throw OutrightFailure(kErrCannotCreateComponent, "cannot create component");
  return std::make_shared<FakeSession>(*this);
}

std::vector<std::string> FakeToolkit::ConfirmHeld() {
  ++confirms;
  if (onConfirm) onConfirm();
  return unconfirmed;
}

Reply FakeToolkit::Answer(const std::string& operation, std::string call) {
  calls.push_back(std::move(call));
  auto& queue = script_[operation];
  Reply reply = defaults_[operation];
  if (!queue.empty()) {
    const Reply& scripted = queue.front();
    reply.code = scripted.code;
    reply.noObject = scripted.noObject;
    reply.failsOutright = scripted.failsOutright;
    if (scripted.text) reply.text = scripted.text;
    if (scripted.flag) reply.flag = scripted.flag;
    queue.pop_front();
  }
  if (!reply.text) reply.text = "";
  if (!reply.flag) reply.flag = false;
  return reply;
}

std::vector<std::string> Join(std::vector<std::string> first,
                              const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Answer ScriptedUi::Show(const MsgBoxRequest& box) {
  boxes.push_back(box);
  if (box.buttons == Buttons::Ok) return Answer::Ok;
  if (answers.empty()) return Answer::Yes;
  Answer answer = answers.front();
  answers.pop_front();
  return answer;
}

void ScriptedUi::ShowOpen(FileDialog& dialog) {
  dialogs.push_back(dialog);
  if (!chosenFile.empty()) dialog.fileName = chosenFile;
}

bool ScriptedUi::ShowProgress(const ProgressRequest& request) {
  progress.push_back(request);
  progressUp = true;
  return progress.size() == cancelAt;
}

Rig::Rig(std::string commandLine, std::string title)
    : facts{.commandLine = std::move(commandLine),
            .folder = [] { return std::string("C:\\Tools"); },
            .title = std::move(title),
            .version = {}} {}

std::string RunToEnd(const std::function<void()>& load) {
  try {
    load();
  } catch (const ProgramEnd&) {
    return "end";
  } catch (const OutrightFailure& failure) {
    return "failure: " + HexCode(failure.code());
  }
  return "returned";
}

bool FakeClientCheckLock::Acquire() {
  if (!offered) return false;
  if (declinedWhileWaiting) lastDecline = CheckTimeNow();
  Use("Acquire");
  return true;
}

void FakeClientCheckLock::RecordDecline(CheckTime at) {
  lastDecline = at;
  Use("RecordDecline");
}

MsgBoxRequest Box(std::string text, std::string title, Buttons buttons, Icon icon) {
  return {std::move(text), std::move(title), buttons, icon};
}

MsgBoxRequest StartQuestion() {
  return Box("Kartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?",
             "Kartiva starten?", Buttons::YesNo, Icon::Question);
}

}  // namespace kartiva::testing

namespace kartiva {
// Readable failure output for box lists.
void PrintTo(const MsgBoxRequest& box, std::ostream* os) {
  *os << "{\"" << box.text << "\", \"" << box.title << "\", buttons "
      << static_cast<int>(box.buttons) << ", icon " << static_cast<int>(box.icon) << "}";
}
}  // namespace kartiva
