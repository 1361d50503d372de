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

}  // namespace

// Windows hands the command line over as one string, so argc and argv are not needed. A file that
// cannot be made absolute meets no other instance: it is this one's own failure.
int RunProgram(int /*argc*/, char** /*argv*/, const Program& program) {
  const std::wstring path = ProgramPath();
  const std::wstring commandLine(
      win32::ArgumentText(std::wstring_view(GetCommandLineW()), std::wstring_view(path)));
  const std::optional<std::wstring> file =
      program.batch ? FileAsMeant(commandLine) : std::optional<std::wstring>();
  std::optional<win32::PipeBatchEndpoint> endpoint;
  if (file) endpoint.emplace(program.title);
  const ProgramFacts facts{
      .commandLine = win32::ToUtf8(std::wstring_view(file.value_or(commandLine))),
      .folder = [&path] { return win32::ToUtf8(win32::FolderOf(std::wstring_view(path))); },
      .title = program.title,
      .version = program.version};
  win32::ComComponents components;
  win32::WindowsUi ui(program.answers);
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
