#include "core/text.h"

namespace kartiva {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the character that starts at text[at]: the length of a well-formed UTF-8 sequence
// (no overlong forms, no surrogates, nothing beyond U+10FFFF), else 1 for the lone byte.
std::size_t CharLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 1;
  unsigned char low = 0x80;  // the range of the byte after the lead
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (length == 1 || text.size() - at < length) return 1;
  if (byte(1) < low || byte(1) > high) return 1;
  for (std::size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 1;
  }
  return length;
}

// The byte offset at which character number `index` starts (text.size() when there are fewer).
std::size_t OffsetOfChar(std::string_view text, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < index && at < text.size(); ++n) at += CharLength(text, at);
  return at;
}

}  // namespace

std::size_t CharCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); at += CharLength(text, at)) ++count;
  return count;
}

std::string FirstChars(std::string_view text, std::size_t count) {
  return std::string(text.substr(0, OffsetOfChar(text, count)));
}

std::string LastChars(std::string_view text, std::size_t count) {
  const std::size_t total = CharCount(text);
  if (total <= count) return std::string(text);
  return std::string(text.substr(OffsetOfChar(text, total - count)));
}

std::string TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string AfterLastBackslash(std::string_view text) {
  // A backslash byte is always a character of its own: it never occurs inside a UTF-8 sequence.
  const std::size_t slash = text.rfind('\\');
  return std::string(slash == std::string_view::npos ? text : text.substr(slash + 1));
}

}  // namespace kartiva
