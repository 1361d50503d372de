#include "platform/win32/windows_ui.h"

#include <windows.h>

#include <commdlg.h>

#include <string>

#include "platform/win32/com.h"
#include "platform/win32/dialog_filter.h"
#include "platform/win32/progress_window.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// The longest path that the wide file functions take.
constexpr std::size_t kMaxPath = 32768;

UINT Style(const MsgBoxRequest& box) {
  // Task-modal: the box holds every window of the program (Menorix's among them), so that no
  // second click reaches them while it is up.
  UINT style = MB_TASKMODAL | MB_SETFOREGROUND | MB_DEFBUTTON1;
  style |= box.buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
  switch (box.icon) {
    case Icon::None:
      break;
    case Icon::Critical:
      style |= MB_ICONERROR;
      break;
    case Icon::Question:
      style |= MB_ICONQUESTION;
      break;
    case Icon::Exclamation:
      style |= MB_ICONWARNING;
      break;
    case Icon::Information:
      style |= MB_ICONINFORMATION;
      break;
  }
  return style;
}

}  // namespace

WindowsUi::WindowsUi() = default;
WindowsUi::~WindowsUi() = default;

Answer WindowsUi::Show(const MsgBoxRequest& box) {
  const std::wstring text = Wide(box.text);
  const std::wstring title = Wide(box.title);
  switch (MessageBoxW(nullptr, text.c_str(), title.c_str(), Style(box))) {
    case IDYES:
      return Answer::Yes;
    case IDNO:
      return Answer::No;
    case 0:
      ThrowLastError("MessageBoxW");
    default:
      return Answer::Ok;
  }
}

void WindowsUi::ShowOpen(FileDialog& dialog) {
  std::wstring fileName = Wide(dialog.fileName);
  if (fileName.size() >= kMaxPath) fileName.clear();
  fileName.resize(kMaxPath, L'\0');
  const std::wstring folder = Wide(dialog.initialFolder);
  const std::wstring filter = DialogFilter<wchar_t>(Wide(dialog.filter));

  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.lpstrFilter = dialog.filter.empty() ? nullptr : filter.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = fileName.data();
  request.nMaxFile = static_cast<DWORD>(fileName.size());
  request.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  request.Flags =
      OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (GetOpenFileNameW(&request)) {
    dialog.fileName = ToUtf8(fileName.c_str());
    return;
  }
  // A cancel leaves the file name as it was; anything else is a failure of the dialog itself.
  if (const DWORD error = CommDlgExtendedError(); error != 0) {
    ThrowFailure("GetOpenFileNameW", static_cast<HRESULT>(error), "common dialog error");
  }
}

bool WindowsUi::ShowProgress(const ProgressRequest& progress) {
  if (!progress_) progress_ = std::make_unique<ProgressWindow>();
  return progress_->Show(progress);
}

void WindowsUi::CloseProgress() { progress_.reset(); }

std::string WindowsUi::CurrentDateText() {
  const int length = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr,
                                     nullptr, 0, nullptr);
  if (length == 0) ThrowLastError("GetDateFormatEx");
  std::wstring date(static_cast<std::size_t>(length), L'\0');
  if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date.data(),
                      length, nullptr) == 0) {
    ThrowLastError("GetDateFormatEx");
  }
  return ToUtf8(date.c_str());
}

}  // namespace kartiva::win32
