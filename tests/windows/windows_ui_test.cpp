// The file-open dialog, operated by keyboard from a second thread while the test waits in it: a
// confirmed name replaces the dialog's file name, a cancel leaves it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/win32/com.h"
#include "platform/win32/windows_ui.h"
#include "tests/windows/support/wine_rig.h"

namespace kartiva::win32 {
namespace {

HWND WaitForDialog() {
  for (int i = 0; i < 200; ++i) {
    if (const HWND dialog = wintest::FindBox(GetCurrentProcessId())) {
      Sleep(300);  // let the dialog settle its focus on the file name
      return dialog;
    }
    Sleep(50);
  }
  return nullptr;
}

// The text of the control that has the focus in the dialog's thread.
std::string FocusedText(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) || !info.hwndFocus)
    return {};
  wchar_t text[MAX_PATH * 2];
  GetWindowTextW(info.hwndFocus, text, MAX_PATH * 2);
  return wintest::Narrow(text);
}

// A user who closes the dialog with Escape.
std::thread Cancel() {
  return std::thread([] {
    if (const HWND dialog = WaitForDialog(); dialog && wintest::Press(dialog, "key Escape")) {
      wintest::WaitUntilClosed(dialog);
    }
  });
}

// A user who types `name` as the file name and confirms it with Return.
std::thread Choose(std::string name) {
  return std::thread([name = std::move(name)] {
    const HWND dialog = WaitForDialog();
    if (!dialog || !wintest::Press(dialog, "key ctrl+a type --delay 5 " + name)) return;
    for (int i = 0; i < 200 && FocusedText(dialog) != name; ++i) Sleep(50);
    if (wintest::Press(dialog, "key Return")) wintest::WaitUntilClosed(dialog);
  });
}

TEST(FileOpenDialog, TakesAConfirmedNameAndKeepsItsNameOnCancel) {
  ComApartment apartment;
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring file =
      std::wstring(temp) + L"kartiva-dialog-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  std::ofstream(std::filesystem::path(file)) << "x";
  const std::string name = wintest::Narrow(file);

  WindowsUi ui(kEnglishAnswers);
  FileDialog dialog{.initialFolder = wintest::Narrow(temp),
                    .filter = "All files (*.*)|*.*",
                    .fileName = "before"};
  std::thread user = Cancel();
  ui.ShowOpen(dialog);
  user.join();
  EXPECT_EQ(dialog.fileName, "before");

  user = Choose(name);
  ui.ShowOpen(dialog);
  user.join();
  EXPECT_EQ(dialog.fileName, name);
  DeleteFileW(file.c_str());
}

}  // namespace
}  // namespace kartiva::win32
