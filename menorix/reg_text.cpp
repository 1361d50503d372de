#include "menorix/reg_text.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace kartiva {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The characters written as a backslash and a letter; other control characters become \xHH.
constexpr std::pair<char, char> kEscapes[] = {
    {'\\', '\\'}, {'"', '"'}, {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}};

std::string Escape(std::string_view value) {
  std::string text;
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    const auto* named = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                     [c](const auto& escape) { return escape.first == c; });
    if (named != std::end(kEscapes)) {
      text += {'\\', named->second};
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      text += hex;
    } else {
      text += c;
    }
  }
  return text;
}

// Appends value between double quotes, escaped. Piece by piece: GCC 12 reports a false -Wrestrict
// for "\"" + std::string at -O3.
void AppendQuoted(std::string& text, std::string_view value) {
  text += '"';
  text += Escape(value);
  text += '"';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The text between the double quotes at the front of `quoted`, with its escapes undone, and
// `quoted` left with what follows the closing quote; or nothing with the reason in `problem`.
std::optional<std::string> TakeQuoted(std::string_view& quoted, std::string& problem) {
  if (quoted.empty() || quoted.front() != '"') {
    problem = "only text values (\"...\") are supported";
    return std::nullopt;
  }
  std::string value;
  for (std::size_t i = 1; i < quoted.size(); ++i) {
    const char c = quoted[i];
    if (c == '"') {
      quoted.remove_prefix(i + 1);
      return value;
    }
    if (c != '\\') {
      value += c;
      continue;
    }
    if (++i == quoted.size()) break;
    const char letter = quoted[i];
    const auto* named =
        std::find_if(std::begin(kEscapes), std::end(kEscapes),
                     [letter](const auto& escape) { return escape.second == letter; });
    if (named != std::end(kEscapes)) {
      value += named->first;
      continue;
    }
    const int high = letter == 'x' && i + 1 < quoted.size() ? HexDigit(quoted[i + 1]) : -1;
    const int low = letter == 'x' && i + 2 < quoted.size() ? HexDigit(quoted[i + 2]) : -1;
    if (high < 0 || low < 0) {
      problem =
          letter == 'x' ? "\\x needs two hex digits" : std::string("unknown escape \\") + letter;
      return std::nullopt;
    }
    value += static_cast<char>(high * 16 + low);
    i += 2;
  }
  problem = "the value has no closing quote";
  return std::nullopt;
}

// A whole value, "..." with nothing after it, or nothing with the reason in `problem`.
std::optional<std::string> Unescape(std::string_view quoted, std::string& problem) {
  std::optional<std::string> value = TakeQuoted(quoted, problem);
  if (value && !quoted.empty()) {
    problem = "text after the closing quote";
    return std::nullopt;
  }
  return value;
}

// A named value below a key header, with the number of its line.
struct NamedLine {
  std::string name;
  std::string value;
  int line = 0;
};

// One section of the file: a key header and the values below it.
struct Section {
  std::string_view path;  // the key's path below the root, "" for the root itself
  std::optional<std::string> value;
  std::vector<NamedLine> named{};
  int line = 0;
};

// Reads a named value, "name"="value", into the section.
bool ParseNamedValue(std::string_view line, int number, Section& section, std::string& problem) {
  std::optional<std::string> name = TakeQuoted(line, problem);
  if (!name) return false;
  if (name->empty() || line.substr(0, 1) != "=") {
    problem = name->empty() ? "an empty value name (the default value is @=)"
                            : "a value name without =\"...\"";
    return false;
  }
  std::optional<std::string> value = Unescape(line.substr(1), problem);
  if (!value) return false;
  section.named.push_back({std::move(*name), std::move(*value), number});
  return true;
}

// The key path of a section header's inside (a view into it), or nothing when it is not under the
// classes root or not a valid path.
std::optional<std::string_view> SectionPath(std::string_view inside, std::string& problem) {
  if (!inside.empty() && inside.front() == '-') {
    problem = "deleting keys ([-...]) is not supported";
    return std::nullopt;
  }
  const std::string_view root = inside.substr(0, kRootName.size());
  std::string_view rest = inside.substr(root.size());
  if (!SameKeyName(root, kRootName) || (!rest.empty() && rest.front() != '\\')) {
    problem = "a key outside HKEY_CLASSES_ROOT";
    return std::nullopt;
  }
  if (rest.empty()) return rest;
  rest.remove_prefix(1);
  const auto depth = static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\\')) + 1;
  if (depth > kMaxKeyDepth) {
    problem = "a key " + std::to_string(depth) + " levels deep; at most " +
              std::to_string(kMaxKeyDepth) + " are allowed";
    return std::nullopt;
  }
  for (std::string_view names = rest;;) {
    const std::size_t separator = names.find('\\');
    if (!IsValidKeyName(names.substr(0, separator))) {
      problem = "an empty key name, or one with a control character";
      return std::nullopt;
    }
    if (separator == std::string_view::npos) return rest;
    names.remove_prefix(separator + 1);
  }
}

// Reads one line after the header: a key header starts a section, a value belongs to the last one.
bool ParseLine(std::string_view line, int number, std::vector<Section>& sections,
               std::string& problem) {
  if (line.empty()) return true;
  if (line.front() == '[') {
    if (line.size() < 2 || line.back() != ']') {
      problem = "a key header without its closing ]";
      return false;
    }
    std::optional<std::string_view> path = SectionPath(line.substr(1, line.size() - 2), problem);
    if (path) sections.push_back({*path, std::nullopt, {}, number});
    return path.has_value();
  }
  if (line.substr(0, 2) == "@=") {
    if (sections.empty()) {
      problem = "a value before the first key header";
      return false;
    }
    if (sections.back().value) {
      problem = "a second default value for the same key";
      return false;
    }
    sections.back().value = Unescape(line.substr(2), problem);
    return sections.back().value.has_value();
  }
  if (line.front() == '"') {
    if (!sections.empty()) return ParseNamedValue(line, number, sections.back(), problem);
    problem = "a value before the first key header";
    return false;
  }
  // Comments are refused like everything else that a rewrite would not keep.
  problem = line.front() == ';' ? "comments are not kept, so not supported"
                                : "not a line of a registry file";
  return false;
}

// Gives a key the named values of all its sections. Taken in the order of their names, each one
// goes to the end of the key's values; false when a name comes twice.
bool SetNamedValues(std::vector<NamedLine>& values, const KeyPath& key, KeyTree& tree,
                    std::string& problem) {
  std::stable_sort(values.begin(), values.end(), [](const NamedLine& a, const NamedLine& b) {
    return KeyPathLess(a.name, b.name);
  });
  for (const NamedLine& named : values) {
    if (KeyTree::FindValue(*tree.Find(key), named.name) != nullptr) {
      problem = "line " + std::to_string(named.line) +
                ": a second value of the same name for the same key";
      return false;
    }
    tree.SetValue(key, named.name, named.value);
  }
  values.clear();
  return true;
}

// Builds the tree from the sections. Taken in the order of a depth-first walk, every new key goes
// to the end of its parent's sub-keys, so a file of any order and size is read in n log n.
bool BuildTree(std::vector<Section>& sections, KeyTree& tree, std::string& problem) {
  std::stable_sort(sections.begin(), sections.end(),
                   [](const Section& a, const Section& b) { return KeyPathLess(a.path, b.path); });
  bool keyHasValue = false;
  std::vector<NamedLine> keyValues;  // the named values of all the sections of one key
  for (std::size_t i = 0; i < sections.size(); ++i) {
    Section& section = sections[i];
    const bool sameKey = i > 0 && !KeyPathLess(sections[i - 1].path, section.path);
    if (!sameKey) keyHasValue = false;
    if (section.value && keyHasValue) {
      problem =
          "line " + std::to_string(section.line) + ": a second default value for the same key";
      return false;
    }
    const KeyPath names = *SplitKeyPath(section.path);
    tree.Create(names);
    if (section.value) tree.SetDefaultValue(names, *section.value);
    std::move(section.named.begin(), section.named.end(), std::back_inserter(keyValues));
    const bool lastOfKey =
        i + 1 == sections.size() || KeyPathLess(section.path, sections[i + 1].path);
    if (lastOfKey && !SetNamedValues(keyValues, names, tree, problem)) return false;
    keyHasValue = keyHasValue || section.value.has_value();
    if (tree.keyCount() > kMaxRegKeys) {
      problem = "line " + std::to_string(section.line) + ": more than " +
                std::to_string(kMaxRegKeys) + " keys";
      return false;
    }
  }
  return true;
}

}  // namespace

std::string FormatRegText(const KeyTree& tree) {
  std::string text(kHeader);
  text += "\n";
  // A depth-first walk without recursion: each key waits with the length of its parent's path.
  std::string path(kRootName);
  std::vector<std::pair<const KeyTree::Key*, std::size_t>> pending{{&tree.root(), path.size()}};
  while (!pending.empty()) {
    const auto [key, parentLength] = pending.back();
    pending.pop_back();
    path.resize(parentLength);
    if (key != &tree.root()) path += "\\" + key->name;
    if (key != &tree.root() || key->value || !key->values.empty()) text += "\n[" + path + "]\n";
    if (key->value) {
      text += "@=";
      AppendQuoted(text, *key->value);
      text += '\n';
    }
    for (const KeyTree::NamedValue& named : key->values) {
      AppendQuoted(text, named.name);
      text += '=';
      AppendQuoted(text, named.value);
      text += '\n';
    }
    for (auto subKey = key->subKeys.rbegin(); subKey != key->subKeys.rend(); ++subKey) {
      pending.emplace_back(&*subKey, path.size());
    }
  }
  return text;
}

bool ParseRegText(std::string_view text, KeyTree& tree, std::string& problem) {
  if (text.empty()) return true;
  if (text.size() > kMaxRegTextBytes) {
    problem = "larger than " + std::to_string(kMaxRegTextBytes) + " bytes";
    return false;
  }
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text.remove_prefix(kByteOrderMark.size());
  std::vector<Section> sections;
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool read = number == 1 ? line == kHeader : ParseLine(line, number, sections, problem);
    if (!read) {
      if (number == 1) problem = "the first line is not \"" + std::string(kHeader) + "\"";
      problem = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
  }
  return BuildTree(sections, tree, problem);
}

}  // namespace kartiva
