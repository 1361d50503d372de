#include "platform/posix/file_manager/entry_text.h"

#include <cstddef>

namespace kartiva::posix {
namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

bool IsAllowedControl(char c) { return c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

bool IsPortableText(std::string_view text) {
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text.front());
    if ((c < 0x20 || c == 0x7F) && !IsAllowedControl(text.front())) return false;
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
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

}  // namespace kartiva::posix
