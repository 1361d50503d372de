#include "platform/linux/file_manager/entry_text.h"

#include <cstddef>

#include "core/text.h"

namespace kartiva::linux_os {
namespace {

bool IsAllowedControl(char c) { return c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool IsPortableText(std::string_view text) {
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    if ((c < 0x20 || c == 0x7F) && !IsAllowedControl(text.front())) return false;
    const Utf8Char character = DecodeUtf8(text, 0, Surrogates::Refused);
    if (!character.wellFormed) return false;
    text.remove_prefix(character.length);
  }
  return true;
}

std::string ShellWord(std::string_view text) {
  std::string word = "'";
  for (char c : text) {
    if (c == '\'') {
      word += "'\\''";
    } else {
      word += c;
    }
  }
  return word + "'";
}

std::string ExecArgument(std::string_view text) {
  std::string argument = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
    if (c == '%') argument += '%';
    argument += c;
  }
  return argument + "\"";
}

std::string DesktopValue(std::string_view text) {
  std::string value;
  for (char c : text) {
    switch (c) {
      case '\\':
        value += "\\\\";
        break;
      case '\n':
        value += "\\n";
        break;
      case '\t':
        value += "\\t";
        break;
      case '\r':
        value += "\\r";
        break;
      default:
        value += value.empty() && c == ' ' ? std::string("\\s") : std::string(1, c);
    }
  }
  return value;
}

std::string XmlText(std::string_view text) {
  std::string xml;
  for (char c : text) {
    switch (c) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '\r':
        xml += "&#13;";
        break;
      default:
        xml += c;
    }
  }
  return xml;
}

}  // namespace kartiva::linux_os
