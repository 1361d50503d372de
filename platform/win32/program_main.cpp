#include "platform/program_main.h"

#include <windows.h>

#include <string>

#include "core/program.h"
#include "platform/win32/batch_pipe.h"
#include "platform/win32/client_check_lock.h"
#include "platform/win32/com.h"
#include "platform/win32/command_line.h"
#include "platform/win32/toolkit_client.h"
#include "platform/win32/utf16.h"
#include "platform/win32/windows_ui.h"

namespace kartiva {
namespace {

// The full path of the running program file, however long it is.
std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut off: try again with room to spare
  }
}

// Builds the platform objects and runs the form through `run`. Windows hands the command line
// over as one string, so argc and argv are not needed.
int RunOnWindows(const ProgramIdentity& identity, const std::function<void(Runtime&)>& loadForm,
                 const std::function<int(Runtime&, const std::function<void()>&)>& run) {
  const std::wstring path = ProgramPath();
  const ProgramFacts facts{.commandLine = win32::ToUtf8(win32::ArgumentText(
                               std::wstring_view(GetCommandLineW()), std::wstring_view(path))),
                           .folder = win32::ToUtf8(win32::FolderOf(std::wstring_view(path))),
                           .title = identity.title,
                           .version = identity.version};
  win32::ComComponents components;
  win32::WindowsUi ui;
  win32::NamedClientCheckLock checkLock;
  Runtime runtime{components, ui, facts, checkLock};
  // The apartment lives inside the form's run, so that a failure to join it is reported like any
  // other, and it outlasts every toolkit object that the form creates.
  return run(runtime, [&] {
    win32::ComApartment apartment;
    loadForm(runtime);
  });
}

}  // namespace

int RunProgram(int /*argc*/, char** /*argv*/, const ProgramIdentity& identity,
               const std::function<void(Runtime&)>& loadForm) {
  return RunOnWindows(identity, loadForm, RunForm);
}

int RunFileProgram(int /*argc*/, char** /*argv*/, const ProgramIdentity& identity,
                   const BatchTexts& texts, const std::function<void(Runtime&)>& loadForm) {
  win32::PipeBatchEndpoint endpoint(identity.title);
  return RunOnWindows(identity, loadForm, [&](Runtime& runtime, const std::function<void()>& load) {
    return RunBatch(runtime, endpoint, texts, load);
  });
}

// The toolkit's own client looks after its store.
std::optional<int> RunStoreCheck(int /*argc*/, char** /*argv*/) { return std::nullopt; }

}  // namespace kartiva
