#include "platform/program_main.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

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

// The file that a file program's command line names, as its user meant it: a relative path made
// absolute in this instance's working folder, since the first instance of a batch, and the
// toolkit, work in folders of their own. A command line with a character that no file name holds
// (a quote, a control character) names no file and stays as it is, for the toolkit to refuse; so
// does an empty one. None when the path cannot be made absolute.
std::optional<std::wstring> FileAsMeant(const std::wstring& commandLine) {
  if (commandLine.empty() || std::any_of(commandLine.begin(), commandLine.end(), [](wchar_t c) {
        return c < L' ' || std::wstring_view(L"\"<>|").find(c) != std::wstring_view::npos;
      })) {
    return commandLine;
  }
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(commandLine.c_str(), static_cast<DWORD>(full.size()),
                                          full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the room it needs, its terminating NUL included
  }
}

std::wstring CommandLineText(const std::wstring& programPath) {
  return std::wstring(
      win32::ArgumentText(std::wstring_view(GetCommandLineW()), std::wstring_view(programPath)));
}

// Builds the platform objects and runs the form on `commandLine` through `run`. Windows hands the
// command line over as one string, so argc and argv are not needed.
int RunOnWindows(const ProgramIdentity& identity, const std::wstring& path,
                 const std::wstring& commandLine, const std::function<void(Runtime&)>& loadForm,
                 const std::function<int(Runtime&, const std::function<void()>&)>& run) {
  const ProgramFacts facts{.commandLine = win32::ToUtf8(std::wstring_view(commandLine)),
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
  const std::wstring path = ProgramPath();
  return RunOnWindows(identity, path, CommandLineText(path), loadForm, RunForm);
}

// A file that cannot be made absolute meets no other instance: it is this one's own failure.
int RunFileProgram(int /*argc*/, char** /*argv*/, const ProgramIdentity& identity,
                   const BatchTexts& texts, const std::function<void(Runtime&)>& loadForm) {
  const std::wstring path = ProgramPath();
  const std::wstring commandLine = CommandLineText(path);
  const std::optional<std::wstring> file = FileAsMeant(commandLine);
  if (!file) return RunOnWindows(identity, path, commandLine, loadForm, RunForm);
  win32::PipeBatchEndpoint endpoint(identity.title);
  return RunOnWindows(identity, path, *file, loadForm,
                      [&](Runtime& runtime, const std::function<void()>& load) {
                        return RunBatch(runtime, endpoint, texts, load);
                      });
}

// The toolkit's own client looks after its store.
std::optional<int> RunStoreCheck(int /*argc*/, char** /*argv*/) { return std::nullopt; }

}  // namespace kartiva
