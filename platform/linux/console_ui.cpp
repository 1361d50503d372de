#include "platform/linux/console_ui.h"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <string>

#include "core/answer_line.h"

namespace kartiva::linux_os {
namespace {

std::string Trimmed(const std::string& text) {
  const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
  auto first = std::find_if_not(text.begin(), text.end(), isSpace);
  auto last = std::find_if_not(text.rbegin(), text.rend(), isSpace).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

bool IsYes(const std::string& line) {
  std::string answer = Trimmed(line);
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer.empty() || answer == "y" || answer == "yes" || answer == "j" || answer == "ja";
}

bool ConsoleUi::ReadLine(std::string& line) { return ReadAnswerLine(in_, line); }

Answer ConsoleUi::Show(const MsgBoxRequest& box) {
  std::fprintf(out_, "%s\n%s\n", box.title.c_str(), box.text.c_str());
  if (box.buttons == Buttons::Ok) {
    std::fflush(out_);
    return Answer::Ok;
  }
  std::fprintf(out_, "[%c/n] ", answers_.yes[0]);
  std::fflush(out_);
  std::string line;
  return ReadLine(line) && IsYes(line) ? Answer::Yes : Answer::No;
}

void ConsoleUi::ShowOpen(FileDialog& dialog) {
  std::fprintf(out_, "Open\n%s\nFile name: ", dialog.initialFolder.c_str());
  std::fflush(out_);
  std::string line;
  if (ReadLine(line) && !Trimmed(line).empty()) dialog.fileName = line;
}

bool ConsoleUi::ShowProgress(const ProgressRequest& progress) {
  std::fprintf(out_, "%s\n", progress.line.c_str());
  std::fflush(out_);
  return false;
}

// The date in the user's format (%x) of the environment's LC_TIME, read here rather than at every
// start, where most runs show no date and it was a tenth of a silent import's start.
std::string ConsoleUi::CurrentDateText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  const locale_t userTime = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  const std::size_t length = userTime != static_cast<locale_t>(nullptr)
                                 ? ::strftime_l(text, sizeof text, "%x", &local, userTime)
                                 : std::strftime(text, sizeof text, "%x", &local);
  if (userTime != static_cast<locale_t>(nullptr)) ::freelocale(userTime);
  return std::string(text, length);
}

}  // namespace kartiva::linux_os
