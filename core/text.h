#pragma once

// Character operations on UTF-8 strings. A character is one code point; a byte that does not start
// a well-formed UTF-8 sequence counts as one character of its own, so that any byte string (a Linux
// path is bytes) is measured and cut without being altered.

#include <cstddef>
#include <string>
#include <string_view>

namespace kartiva {

// Whether UTF-16 surrogates (U+D800..U+DFFF) encoded in three bytes count as characters: refused in
// strict UTF-8, accepted where a Windows name carries an unpaired surrogate (WTF-8).
enum class Surrogates { Refused, Accepted };

// One character decoded from the UTF-8 sequence at text[at] (at < text.size()): its value and
// length when well-formed (no overlong form, nothing beyond U+10FFFF), else the lone lead byte
// with wellFormed false.
struct Utf8Char {
  char32_t value;
  std::size_t length;
  bool wellFormed;
};
Utf8Char DecodeUtf8(std::string_view text, std::size_t at, Surrogates surrogates);

// The number of characters in text.
std::size_t CharCount(std::string_view text);

// The first `count` characters of text (all of it when it is shorter).
std::string FirstChars(std::string_view text, std::size_t count);

// The last `count` characters of text (all of it when it is shorter).
std::string LastChars(std::string_view text, std::size_t count);

// Text without its leading and trailing U+0020 spaces; other white space stays.
std::string TrimSpaces(std::string_view text);

// The part of text after its last backslash, or all of it when it holds none.
std::string AfterLastBackslash(std::string_view text);

// Sixteen hexadecimal digits that stay the same for the same text, for names made from texts that
// may hold any character (FNV-1a, 64 bits): not a secret, and not proof against a chosen collision.
std::string TextId(std::string_view text);

}  // namespace kartiva
