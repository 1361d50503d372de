#include "core/batch_endpoint.h"

namespace kartiva {
namespace {

constexpr std::string_view kFailedPrefix = "failed ";

// A text on one line: the backslash, the line breaks and NUL as escapes.
std::string OnOneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    switch (c) {
      case '\\':
        line += "\\\\";
        break;
      case '\n':
        line += "\\n";
        break;
      case '\r':
        line += "\\r";
        break;
      case '\0':
        line += "\\0";
        break;
      default:
        line += c;
    }
  }
  return line;
}

// The text of OnOneLine's line; an escape cut off at the end is left out.
std::string FromOneLine(std::string_view line) {
  std::string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '\\') {
      text += line[i];
    } else if (++i < line.size()) {
      const char escaped = line[i];
      text += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == '0' ? '\0' : escaped;
    }
  }
  return text;
}

// Cuts `text` to at most `size` bytes, never in the middle of a UTF-8 character.
void CutTo(std::string& text, std::size_t size) {
  if (text.size() <= size) return;
  text.resize(size);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) text.pop_back();
  if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0) text.pop_back();
}

}  // namespace

std::string HandOverOf(const HandedOver& handed) {
  std::string bytes = handed.path;
  for (const std::string& failure : handed.failures) {
    bytes.append(1, '\0').append(FailedMessage(failure));
  }
  return bytes;
}

std::optional<HandedOver> ReadHandOver(std::string_view bytes) {
  HandedOver handed{.path = std::string(bytes.substr(0, bytes.find('\0')))};
  if (handed.path.empty()) return std::nullopt;
  bytes.remove_prefix(handed.path.size());
  while (!bytes.empty()) {
    bytes.remove_prefix(1);
    const std::string_view message = bytes.substr(0, bytes.find('\0'));
    std::optional<std::string> failure = FailureIn(message);
    if (!failure) return std::nullopt;
    handed.failures.push_back(std::move(*failure));
    bytes.remove_prefix(message.size());
  }
  return handed;
}

std::string FailedMessage(std::string_view failure) {
  std::string message = std::string(kFailedPrefix) + OnOneLine(failure);
  CutTo(message, kLongestBatchMessage - 1);
  return message;
}

std::optional<std::string> FailureIn(std::string_view message) {
  if (message.substr(0, kFailedPrefix.size()) != kFailedPrefix) return std::nullopt;
  return FromOneLine(message.substr(kFailedPrefix.size()));
}

}  // namespace kartiva
