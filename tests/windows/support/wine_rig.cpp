#include "tests/windows/support/wine_rig.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/win32/command_line.h"
#include "platform/win32/utf16.h"

namespace kartiva::wintest {
namespace {

std::wstring ScriptPath(const std::wstring& folder) { return folder + L"\\script.txt"; }
std::wstring LogPath(const std::wstring& folder) { return folder + L"\\calls.log"; }

}  // namespace

std::string Narrow(std::wstring_view text) { return win32::ToUtf8(text); }

std::wstring BinaryFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  return std::wstring(win32::FolderOf(std::wstring_view(path, length)));
}

PROCESS_INFORMATION StartProcess(const std::wstring& path, std::wstring commandLine,
                                 const wchar_t* folder) {
  for (int attempt = 1;; ++attempt) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder, &startup, &process)) {
      return process;
    }
    if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return {};
    Sleep(100);
  }
}

HRESULT RegisterFakeToolkit() {
  const std::wstring path = BinaryFolder() + L"\\fake_toolkit.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return HRESULT_FROM_WIN32(GetLastError());
  using Register = HRESULT(STDAPICALLTYPE*)();
  const auto registerServer = reinterpret_cast<Register>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
  const HRESULT result = registerServer ? registerServer() : E_NOINTERFACE;
  FreeLibrary(library);
  return result;
}

HWND FindBox(DWORD processId) {
  struct Search {
    DWORD processId;
    HWND found;
  } search{processId, nullptr};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(parameter);
        wchar_t kind[16];
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        GetClassNameW(window, kind, 16);
        if (owner != s.processId || !IsWindowVisible(window) || wcscmp(kind, L"#32770") != 0) {
          return TRUE;
        }
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool Xdotool(const std::string& commands) {
  wchar_t tool[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"KARTIVA_XDOTOOL", tool, MAX_PATH);
  std::wstring command = length > 0 && length < MAX_PATH ? tool : L"Z:\\usr\\bin\\xdotool";
  command += L" " + Wide(commands);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  // Wine 8 starts a Unix program outside its own process table and fills PROCESS_INFORMATION
  // with whatever its stack held: those are no handles of ours, and closing one could close a
  // handle this test holds to a running instance. So nothing of it is closed.
  return true;
}

bool Press(HWND box, const std::string& keys) {
  const auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropW(box, L"__wine_x11_whole_window"));
  if (xWindow == 0) return false;
  return Xdotool("windowfocus --sync " + std::to_string(xWindow) + " " + keys);
}

bool WaitUntilClosed(HWND box) {
  for (int i = 0; i < 200 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(50);
  return !IsWindow(box) || !IsWindowVisible(box);
}

FakeToolkitFiles::FakeToolkitFiles() {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  for (unsigned attempt = GetTickCount();; ++attempt) {
    folder_ = std::wstring(temp) + L"kartiva-fake-" + std::to_wstring(GetCurrentProcessId()) +
              L"-" + std::to_wstring(attempt);
    if (CreateDirectoryW(folder_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no temporary folder");
  }
  Script("");
  SetEnvironmentVariableW(L"KARTIVA_FAKE_SCRIPT", ScriptPath(folder_).c_str());
  SetEnvironmentVariableW(L"KARTIVA_FAKE_LOG", LogPath(folder_).c_str());
}

FakeToolkitFiles::~FakeToolkitFiles() {
  SetEnvironmentVariableW(L"KARTIVA_FAKE_SCRIPT", nullptr);
  SetEnvironmentVariableW(L"KARTIVA_FAKE_LOG", nullptr);
  DeleteFileW(ScriptPath(folder_).c_str());
  DeleteFileW(LogPath(folder_).c_str());
  RemoveDirectoryW(folder_.c_str());
}

void FakeToolkitFiles::Script(std::string_view lines) const {
  std::ofstream file(std::filesystem::path(ScriptPath(folder_)),
                     std::ios::binary | std::ios::trunc);
  file << lines;
}

std::vector<std::string> FakeToolkitFiles::Log() const {
  std::ifstream file(std::filesystem::path(LogPath(folder_)), std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

}  // namespace kartiva::wintest
