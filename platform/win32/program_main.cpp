#include "platform/program_main.h"

#include <windows.h>

#include <optional>
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

}  // namespace

// Windows hands the command line over as one string, so argc and argv are not needed.
int RunProgram(int /*argc*/, char** /*argv*/, const Program& program) {
  std::optional<win32::PipeBatchEndpoint> endpoint;
  if (program.batch) endpoint.emplace(program.title);
  const std::wstring path = ProgramPath();
  const ProgramFacts facts{.commandLine = win32::ToUtf8(win32::ArgumentText(
                               std::wstring_view(GetCommandLineW()), std::wstring_view(path))),
                           .folder = win32::ToUtf8(win32::FolderOf(std::wstring_view(path))),
                           .title = program.title,
                           .version = program.version};
  win32::ComComponents components;
  win32::WindowsUi ui;
  win32::NamedClientCheckLock checkLock;
  Runtime runtime{components, ui, facts, checkLock};
  // The apartment lives inside the form's run, so that a failure to join it is reported like any
  // other, and it outlasts every toolkit object that the form creates.
  const auto load = [&] {
    win32::ComApartment apartment;
    program.loadForm(runtime);
  };
  if (!endpoint) return RunForm(runtime, load);
  return RunBatch(runtime, *endpoint, *program.batch, load);
}

}  // namespace kartiva
