#include "menorix/key_tree.h"

#include <algorithm>

namespace kartiva {
namespace {

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool FoldedLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Fold(x)) < static_cast<unsigned char>(Fold(y));
  });
}

// The place of `name` among sorted sub-keys or values: the one of that name, or where it belongs.
template <typename Items>
auto Place(Items& items, std::string_view name) {
  return std::lower_bound(
      items.begin(), items.end(), name,
      [](const auto& item, std::string_view n) { return FoldedLess(item.name, n); });
}

template <typename KeyT>
KeyT* FindIn(KeyT& start, const KeyPath& path) {
  KeyT* key = &start;
  for (const std::string& name : path) {
    auto& keys = key->subKeys;
    auto it = std::lower_bound(
        keys.begin(), keys.end(), name,
        [](const KeyTree::Key& k, std::string_view n) { return FoldedLess(k.name, n); });
    if (it == keys.end() || !SameKeyName(it->name, name)) return nullptr;
    key = &*it;
  }
  return key;
}

}  // namespace

bool SameKeyName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Fold(x) == Fold(y); });
}

bool IsValidKeyName(std::string_view name) {
  return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '\\' || byte < 0x20 || byte == 0x7F;
  });
}

std::optional<KeyPath> SplitKeyPath(std::string_view path) {
  KeyPath names;
  if (path.empty()) return names;
  for (;;) {
    const std::size_t separator = path.find('\\');
    const std::string_view name = path.substr(0, separator);
    if (!IsValidKeyName(name) || names.size() == kMaxKeyDepth) return std::nullopt;
    names.emplace_back(name);
    if (separator == std::string_view::npos) return names;
    path.remove_prefix(separator + 1);
  }
}

bool KeyPathLess(std::string_view a, std::string_view b) {
  // A backslash ends a name, so it sorts before every character that a name may hold.
  const auto rank = [](char c) { return c == '\\' ? 0 : static_cast<unsigned char>(Fold(c)); };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return rank(x) < rank(y); });
}

const KeyTree::NamedValue* KeyTree::FindValue(const Key& key, std::string_view name) {
  const auto it = Place(key.values, name);
  return it != key.values.end() && SameKeyName(it->name, name) ? &*it : nullptr;
}

const KeyTree::Key* KeyTree::Find(const KeyPath& path) const { return FindIn(root_, path); }

const KeyTree::Key* KeyTree::Find(std::string_view path) const {
  const std::optional<KeyPath> names = SplitKeyPath(path);
  return names ? Find(*names) : nullptr;
}

void KeyTree::Create(const KeyPath& path) { Require(path); }

void KeyTree::SetDefaultValue(const KeyPath& path, std::string_view value) {
  Key& key = Require(path);
  if (key.value == value) return;
  key.value = std::string(value);
  ++revision_;
}

void KeyTree::SetValue(const KeyPath& path, std::string_view name, std::string_view value) {
  if (name.empty()) return SetDefaultValue(path, value);
  std::vector<NamedValue>& values = Require(path).values;
  auto it = Place(values, name);
  if (it == values.end() || !SameKeyName(it->name, name)) {
    values.insert(it, NamedValue{std::string(name), std::string(value)});
  } else if (it->value != value) {
    it->value = std::string(value);
  } else {
    return;
  }
  ++revision_;
}

RegResult KeyTree::DeleteSubKey(const KeyPath& parent, std::string_view name) {
  Key* key = FindIn(root_, parent);
  if (key == nullptr) return kErrorKeyDeleted;
  auto it = Place(key->subKeys, name);
  if (it == key->subKeys.end() || !SameKeyName(it->name, name)) return kErrorFileNotFound;
  if (!it->subKeys.empty()) return kErrorAccessDenied;
  key->subKeys.erase(it);
  ++revision_;
  --keyCount_;
  return kErrorSuccess;
}

KeyTree::Key& KeyTree::Require(const KeyPath& path) {
  Key* key = &root_;
  for (const std::string& name : path) {
    auto it = Place(key->subKeys, name);
    if (it == key->subKeys.end() || !SameKeyName(it->name, name)) {
      it = key->subKeys.insert(it, Key{name, std::nullopt, {}, {}});
      ++revision_;
      ++keyCount_;
    }
    key = &*it;
  }
  return *key;
}

}  // namespace kartiva
