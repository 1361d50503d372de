#include "core/text.h"

#include <cstdint>

namespace kartiva {
namespace {

// The length of the character that starts at text[at]: the length of a well-formed UTF-8 sequence,
// else 1 for the lone byte.
std::size_t CharLength(std::string_view text, std::size_t at) {
  const Utf8Char decoded = DecodeUtf8(text, at, Surrogates::Refused);
  return decoded.wellFormed ? decoded.length : 1;
}

// The byte offset at which character number `index` starts (text.size() when there are fewer).
std::size_t OffsetOfChar(std::string_view text, std::size_t index) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < index && at < text.size(); ++n) at += CharLength(text, at);
  return at;
}

}  // namespace

Utf8Char DecodeUtf8(std::string_view text, std::size_t at, Surrogates surrogates) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1, true};
  std::size_t length = 0;
  char32_t value = 0;
  unsigned char low = 0x80;  // the range of the byte after the lead
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED && surrogates == Surrogates::Refused) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  const Utf8Char lone{lead, 1, false};
  if (length == 0 || text.size() - at < length || byte(1) < low || byte(1) > high) return lone;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return lone;
    value = (value << 6) | (byte(i) & 0x3Fu);
  }
  return {value, length, true};
}

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

std::string TextId(std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  constexpr std::string_view kDigits = "0123456789abcdef";
  std::string id(16, '0');
  for (auto digit = id.rbegin(); digit != id.rend(); ++digit, hash >>= 4) {
    *digit = kDigits[hash & 0xF];
  }
  return id;
}

}  // namespace kartiva
