#include "platform/posix/hive_registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <utility>

#include "localstore/codes.h"
#include "localstore/files.h"

namespace kartiva::posix {
namespace {

using localstore::UniqueFd;

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

void FormatKey(const KeyTree::Key& key, const std::string& path, bool isRoot, std::string& text) {
  if (!isRoot || key.value || !key.values.empty()) text += "\n[" + path + "]\n";
  if (key.value) text += "@=\"" + Escape(*key.value) + "\"\n";
  for (const KeyTree::NamedValue& named : key.values) {
    text += "\"" + Escape(named.name) + "\"=\"" + Escape(named.value) + "\"\n";
  }
  for (const KeyTree::Key& subKey : key.subKeys) {
    FormatKey(subKey, path + "\\" + subKey.name, false, text);
  }
}

// The key path of a section header's inside, or nothing when it is not under the classes root.
std::optional<KeyPath> SectionPath(std::string_view inside, std::string& problem) {
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
  if (rest.empty()) return KeyPath{};
  std::optional<KeyPath> path = SplitKeyPath(rest.substr(1));
  if (!path || path->empty()) {
    problem = "an empty key name, or one with a control character";
    return std::nullopt;
  }
  return path;
}

// Reads a named value, "name"="value", into the key at `section`.
bool ParseNamedValue(std::string_view line, const KeyPath& section, KeyTree& tree,
                     std::string& problem) {
  const std::optional<std::string> name = TakeQuoted(line, problem);
  if (!name) return false;
  if (name->empty() || line.substr(0, 1) != "=") {
    problem = name->empty() ? "an empty value name (the default value is @=)"
                            : "a value name without =\"...\"";
    return false;
  }
  const std::optional<std::string> value = Unescape(line.substr(1), problem);
  if (!value) return false;
  if (KeyTree::FindValue(*tree.Find(section), *name) != nullptr) {
    problem = "a second value of the same name for the same key";
    return false;
  }
  tree.SetValue(section, *name, *value);
  return true;
}

// Reads one line after the header into the tree; `section` is the key that the last header named.
bool ParseLine(std::string_view line, std::optional<KeyPath>& section, KeyTree& tree,
               std::string& problem) {
  if (line.empty()) return true;
  if (line.front() == '[') {
    if (line.size() < 2 || line.back() != ']') {
      problem = "a key header without its closing ]";
      return false;
    }
    section = SectionPath(line.substr(1, line.size() - 2), problem);
    if (section) tree.Create(*section);
    return section.has_value();
  }
  if (line.substr(0, 2) == "@=") {
    if (!section) {
      problem = "a value before the first key header";
      return false;
    }
    if (tree.Find(*section)->value) {
      problem = "a second default value for the same key";
      return false;
    }
    std::optional<std::string> value = Unescape(line.substr(2), problem);
    if (value) tree.SetDefaultValue(*section, *value);
    return value.has_value();
  }
  if (line.front() == '"') {
    if (section) return ParseNamedValue(line, *section, tree, problem);
    problem = "a value before the first key header";
    return false;
  }
  // Comments are refused like everything else that a rewrite would not keep.
  problem = line.front() == ';' ? "comments are not kept, so not supported"
                                : "not a line of a registry file";
  return false;
}

RegResult CodeForErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kErrorAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    default:
      return kErrorRegistryIoFailed;
  }
}

RegResult CodeForStoreCode(ErrorCode code) {
  switch (code) {
    case 0:
      return kErrorSuccess;
    case localstore::kStoreReadOnly:
      return kErrorAccessDenied;
    case localstore::kStoreFull:
      return kErrorDiskFull;
    default:
      return kErrorRegistryIoFailed;
  }
}

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

std::filesystem::path HomeFolder() {
  if (const char* home = NonEmptyVariable("HOME")) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

}  // namespace

std::string FormatHive(const KeyTree& tree) {
  std::string text(kHeader);
  text += "\n";
  FormatKey(tree.root(), std::string(kRootName), true, text);
  return text;
}

bool ParseHive(std::string_view text, KeyTree& tree, std::string& problem) {
  if (text.empty()) return true;
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text.remove_prefix(kByteOrderMark.size());
  std::optional<KeyPath> section;
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool read = number == 1 ? line == kHeader : ParseLine(line, section, tree, problem);
    if (!read) {
      if (number == 1) problem = "the first line is not \"" + std::string(kHeader) + "\"";
      problem = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
  }
  return true;
}

HiveRegistry::HiveRegistry(const std::filesystem::path& file)
    : file_(std::filesystem::absolute(file)) {}

RegResult HiveRegistry::Read(const Reader& read) {
  problem_.clear();
  // A reader needs no lock: the file is only ever replaced whole.
  KeyTree tree;
  if (RegResult result = Load(tree)) return result;
  return read(tree);
}

RegResult HiveRegistry::Change(const Changer& change) {
  problem_.clear();
  std::error_code error;
  std::filesystem::create_directories(file_.parent_path(), error);
  if (error) return FailWithErrno(error.value(), "cannot create its folder");

  // The lock lives in a file of its own, because the hive file is replaced by a rename.
  const std::string lockFile = file_.string() + ".lock";
  UniqueFd lock(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.get() < 0) return FailWithErrno(errno, "cannot open its lock file");
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) return FailWithErrno(errno, "cannot lock its lock file");
  }

  KeyTree tree;
  if (RegResult result = Load(tree)) return result;
  const unsigned long loaded = tree.revision();
  if (RegResult result = change(tree)) return result;
  return tree.revision() == loaded ? kErrorSuccess : Save(tree);
}

RegResult HiveRegistry::Load(KeyTree& tree) {
  UniqueFd file(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    // A hive that was never written holds no keys.
    return errno == ENOENT ? kErrorSuccess : FailWithErrno(errno, "cannot open it");
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return FailWithErrno(errno, "cannot read it");
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
  std::string why;
  if (!ParseHive(text, tree, why)) return Fail(kErrorRegistryCorrupt, why);
  return kErrorSuccess;
}

RegResult HiveRegistry::Save(const KeyTree& tree) {
  const RegResult result =
      CodeForStoreCode(localstore::WriteFileAtomically(file_, FormatHive(tree)));
  return result == kErrorSuccess ? result : Fail(result, "cannot write it");
}

RegResult HiveRegistry::FailWithErrno(int error, std::string_view what) {
  return Fail(CodeForErrno(error),
              std::string(what) + ": " + std::generic_category().message(error));
}

RegResult HiveRegistry::Fail(RegResult code, const std::string& what) {
  problem_ = file_.string() + ": " + what;
  return code;
}

std::filesystem::path DefaultHivePath() {
  if (const char* file = NonEmptyVariable("KARTIVA_REGISTRY")) return file;
  std::filesystem::path config;
  // The base directory specification ignores a relative XDG_CONFIG_HOME.
  if (const char* xdg = NonEmptyVariable("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else {
    config = HomeFolder() / ".config";
  }
  return config / "kartiva" / "classes.reg";
}

}  // namespace kartiva::posix
