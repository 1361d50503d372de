#pragma once

// What the Windows tests share: the fake toolkit component registered as "KV5ToolKit.App", and a
// temporary folder with its script and its call log, named to it through the environment.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/utf16.h"

namespace kartiva::wintest {

using win32::Wide;
std::string Narrow(std::wstring_view text);

// The folder of the running test program, where the programs and the fake component lie too.
std::wstring BinaryFolder();

// Starts the program file `path` with `commandLine` in `folder` (null: this process's), the way
// CreateProcessW does, and hands back the process, or null with GetLastError set. Under load Wine
// now and then loses a new process before any of its code runs (ERROR_INTERNAL_ERROR, its exit code
// never set); such a start is tried again, as a user would.
[[nodiscard]] PROCESS_INFORMATION StartProcess(const std::wstring& path, std::wstring commandLine,
                                               const wchar_t* folder = nullptr);

// Registers fake_toolkit.dll from BinaryFolder() through its DllRegisterServer.
[[nodiscard]] HRESULT RegisterFakeToolkit();

// The visible dialog window (a message box, a file dialog) of the process, or null.
HWND FindBox(DWORD processId);

// Runs xdotool (KARTIVA_XDOTOOL, else Z:\usr\bin\xdotool) with `commands`, its own command chain
// such as "mousemove 10 20 click 1". Wine starts the Unix program but hands back no handle to wait
// on (nor one to close), so the caller waits for what the commands do: false when it could not be
// started.
bool Xdotool(const std::string& commands);

// Types in the dialog the way a user would: xdotool focuses the dialog's X window and runs `keys`,
// such as "key Return". Without a window manager (Xvfb) focusing works where activating does not.
bool Press(HWND box, const std::string& keys);

// Waits up to 10 seconds for the dialog to close.
bool WaitUntilClosed(HWND box);

// A fresh temporary folder holding the fake's script and log, named in this process's
// environment (KARTIVA_FAKE_SCRIPT, KARTIVA_FAKE_LOG), which programs started later inherit.
class FakeToolkitFiles {
 public:
  FakeToolkitFiles();
  FakeToolkitFiles(const FakeToolkitFiles&) = delete;
  FakeToolkitFiles& operator=(const FakeToolkitFiles&) = delete;
  ~FakeToolkitFiles();

  // Replaces the script: lines of Object.Operation.key=value.
  void Script(std::string_view lines) const;
  // The calls logged so far, one line each.
  std::vector<std::string> Log() const;

 private:
  std::wstring folder_;
};

}  // namespace kartiva::wintest
