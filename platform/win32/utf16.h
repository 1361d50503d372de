#pragma once

// UTF-8 and UTF-16 for the Windows adapters: the core keeps UTF-8, every W call takes UTF-16. The
// conversion knows nothing of Windows, so it is built and tested on every platform; Char16 is
// wchar_t on Windows and char16_t elsewhere.
//
// A Windows file name is any sequence of 16-bit units, unpaired surrogates included. Such a unit is
// carried in UTF-8 as its three-byte form (as WTF-8 does), so that every name the system hands out
// comes back unchanged when it is passed in again. Bytes that form no character become U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text.h"

namespace kartiva::win32 {
namespace utf16_detail {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character at text[at] and advances `at` past it.
inline char32_t DecodeNext(std::string_view text, std::size_t& at) {
  const Utf8Char decoded = DecodeUtf8(text, at, Surrogates::Accepted);
  at += decoded.length;
  return decoded.wellFormed ? decoded.value : kReplacement;
}

inline void Append(std::string& out, char32_t value) {
  const auto put = [&](char32_t bits) { out += static_cast<char>(bits); };
  if (value < 0x80) {
    put(value);
  } else if (value < 0x800) {
    put(0xC0 | (value >> 6));
    put(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    put(0xE0 | (value >> 12));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  } else {
    put(0xF0 | (value >> 18));
    put(0x80 | ((value >> 12) & 0x3F));
    put(0x80 | ((value >> 6) & 0x3F));
    put(0x80 | (value & 0x3F));
  }
}

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace utf16_detail

template <typename Char16>
std::basic_string<Char16> ToUtf16(std::string_view text) {
  static_assert(sizeof(Char16) == 2, "UTF-16 needs a 16-bit character type");
  using namespace utf16_detail;
  std::basic_string<Char16> out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const char32_t value = DecodeNext(text, at);
    if (value < 0x10000) {
      out += static_cast<Char16>(value);
    } else {
      out += static_cast<Char16>(0xD800 + ((value - 0x10000) >> 10));
      out += static_cast<Char16>(0xDC00 + ((value - 0x10000) & 0x3FF));
    }
  }
  return out;
}

template <typename Char16>
std::string ToUtf8(std::basic_string_view<Char16> text) {
  static_assert(sizeof(Char16) == 2, "UTF-16 needs a 16-bit character type");
  using namespace utf16_detail;
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t unit = static_cast<std::uint16_t>(text[at]);
    if (IsHighSurrogate(unit) && at + 1 < text.size()) {
      const char32_t next = static_cast<std::uint16_t>(text[at + 1]);
      if (IsLowSurrogate(next)) {
        Append(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++at;
        continue;
      }
    }
    Append(out, unit);  // a character of the basic plane, or an unpaired surrogate as it stands
  }
  return out;
}

template <typename Char16>
std::string ToUtf8(const Char16* text) {
  return ToUtf8(std::basic_string_view<Char16>(text));
}

#ifdef _WIN32
// A UTF-8 string as the W functions take it.
inline std::wstring Wide(std::string_view text) { return ToUtf16<wchar_t>(text); }
#endif

}  // namespace kartiva::win32
