#pragma once

// A tree of registry keys: the key semantics shared by every registry that is not the Windows one.
// Key names keep the spelling they were created with and compare without regard to case; the
// folding covers the ASCII letters only, which is all the names of the registration need (other
// bytes, also those of UTF-8 sequences, compare as they are).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "menorix/registry.h"

namespace kartiva {

using KeyPath = std::vector<std::string>;

// How deep a key may lie below the root, as in the Windows registry.
inline constexpr std::size_t kMaxKeyDepth = 512;

// True when the two names are the same key name.
bool SameKeyName(std::string_view a, std::string_view b);

// A key name is not empty and holds neither a backslash nor a control character.
bool IsValidKeyName(std::string_view name);

// The names along a backslash-separated path ("" is the root), or nothing when one is not valid or
// there are more than kMaxKeyDepth.
std::optional<KeyPath> SplitKeyPath(std::string_view path);

// Whether backslash-separated path `a` comes before `b` when compared name by name in the order of
// sub-keys: the order of a depth-first walk, a key before its sub-keys.
bool KeyPathLess(std::string_view a, std::string_view b);

class KeyTree {
 public:
  struct NamedValue {
    std::string name;
    std::string value;
  };
  struct Key {
    std::string name;
    std::optional<std::string> value;  // the default value; none until one is set
    std::vector<Key> subKeys;          // ordered by their case-folded names
    std::vector<NamedValue> values{};  // the named values, ordered the same way
  };

  // The named value `name` of `key`, or nullptr when it has none of that name.
  static const NamedValue* FindValue(const Key& key, std::string_view name);

  const Key& root() const { return root_; }
  // The key at `path`, or nullptr when it does not exist.
  const Key* Find(const KeyPath& path) const;
  // Finds by a backslash-separated path, for readers that have one.
  const Key* Find(std::string_view path) const;

  // Creates every missing key along `path`.
  void Create(const KeyPath& path);
  // Sets the default value of the key at `path`, creating it if needed.
  void SetDefaultValue(const KeyPath& path, std::string_view value);
  // Sets the value `name` of the key at `path`, creating it if needed; "" is the default value.
  void SetValue(const KeyPath& path, std::string_view name, std::string_view value);
  // Deletes the direct sub-key `name` of the key at `parent`, which must exist: kErrorFileNotFound
  // when there is none, kErrorAccessDenied when it has sub-keys of its own.
  [[nodiscard]] RegResult DeleteSubKey(const KeyPath& parent, std::string_view name);

  // Counts the changes made, so that a caller can tell whether there is anything to keep.
  unsigned long revision() const { return revision_; }
  // How many keys there are, the root not counted.
  std::size_t keyCount() const { return keyCount_; }

 private:
  Key& Require(const KeyPath& path);

  Key root_;
  unsigned long revision_ = 0;
  std::size_t keyCount_ = 0;
};

}  // namespace kartiva
