#include "platform/win32/windows_ui.h"

#include <windows.h>

#include <commdlg.h>

#include <iterator>
#include <string>
#include <string_view>

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

// MessageBoxW captions its buttons in the system's language. While a box of this thread is
// shown, a CBT hook renames Yes and No as the box is first activated, before it is drawn.
struct ButtonWords {
  const wchar_t* yes;
  const wchar_t* no;
};
thread_local const ButtonWords* tButtonWords = nullptr;

LRESULT CALLBACK NameButtons(int code, WPARAM wParam, LPARAM lParam) {
  const HWND box = reinterpret_cast<HWND>(wParam);
  wchar_t kind[8] = L"";
  if (code == HCBT_ACTIVATE && tButtonWords != nullptr &&
      GetClassNameW(box, kind, static_cast<int>(std::size(kind))) > 0 &&
      std::wstring_view(kind) == L"#32770") {
    SetDlgItemTextW(box, IDYES, tButtonWords->yes);
    SetDlgItemTextW(box, IDNO, tButtonWords->no);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The hook, for the time that one box is up.
class ButtonNaming {
 public:
  explicit ButtonNaming(const ButtonWords& words)
      : words_(words),
        hook_(SetWindowsHookExW(WH_CBT, NameButtons, nullptr, GetCurrentThreadId())) {
    if (hook_ == nullptr) ThrowLastError("SetWindowsHookExW");
    tButtonWords = &words_;
  }
  ~ButtonNaming() {
    tButtonWords = outer_;
    UnhookWindowsHookEx(hook_);
  }
  ButtonNaming(const ButtonNaming&) = delete;
  ButtonNaming& operator=(const ButtonNaming&) = delete;

 private:
  ButtonWords words_;
  const ButtonWords* outer_ = tButtonWords;  // a box's, where one shows this one
  HHOOK hook_;
};

// A caption with its access key: Alt and the first letter, or the letter alone, press the button.
std::wstring Caption(const char* word) { return L"&" + Wide(word); }

}  // namespace

WindowsUi::WindowsUi(AnswerWords answers) : yes_(Caption(answers.yes)), no_(Caption(answers.no)) {}
WindowsUi::~WindowsUi() = default;

Answer WindowsUi::Show(const MsgBoxRequest& box) {
  const std::wstring text = Wide(box.text);
  const std::wstring title = Wide(box.title);
  const ButtonNaming naming({yes_.c_str(), no_.c_str()});
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
