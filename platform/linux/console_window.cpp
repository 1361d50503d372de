#include "platform/linux/console_window.h"

#include "core/answer_line.h"

#include <algorithm>
#include <string>

#include "menorix/frm_add_context.h"
#include "menorix/twips.h"

namespace kartiva {
namespace {

std::string LowerTrimmed(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  std::string lower(line);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

// A button's caption without the '&' that marks its access key.
std::string Plain(const std::string& caption) {
  std::string plain = caption;
  plain.erase(std::remove(plain.begin(), plain.end(), '&'), plain.end());
  return plain;
}

}  // namespace

ControlName ConsoleChoice(std::string_view line) {
  const std::string choice = LowerTrimmed(line);
  if (choice == "a" || choice == "aktivieren") return ControlName::cmdAppend;
  if (choice == "d" || choice == "deaktivieren") return ControlName::cmdDelete;
  return ControlName::cmdEnde;
}

ConsoleWindow::ConsoleWindow(std::FILE* in, std::FILE* out)
    : in_(in),
      out_(out),
      clientArea_(TwipsToPixels(frmAddContext::kClientWidth, kPixelsPerInch),
                  TwipsToPixels(frmAddContext::kClientHeight, kPixelsPerInch), 24) {}

void ConsoleWindow::Run(frmAddContext& form) {
  std::fprintf(out_, "%s\n  a  %s: %s\n  d  %s: %s\n  x  %s\n> ", form.Caption.c_str(),
               Plain(form.cmdAppend.caption).c_str(), form.cmdAppend.toolTipText.c_str(),
               Plain(form.cmdDelete.caption).c_str(), form.cmdDelete.toolTipText.c_str(),
               form.cmdEnde.toolTipText.c_str());
  std::fflush(out_);
  std::string line;
  ReadAnswerLine(in_, line);
  form.Click(ConsoleChoice(line));
}

}  // namespace kartiva
