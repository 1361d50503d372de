#pragma once

// A registry that lives in memory for as long as the object, for the tests of what writes to one.

#include "menorix/key_tree.h"
#include "menorix/tree_registry.h"

namespace kartiva::testing {

class MemoryRegistry final : public TreeRegistry {
 public:
  MemoryRegistry() = default;
  const KeyTree& tree() const { return tree_; }

 private:
  [[nodiscard]] RegResult Read(const Reader& read) override { return read(tree_); }
  [[nodiscard]] RegResult Change(const Changer& change) override { return change(tree_); }

  KeyTree tree_;
};

}  // namespace kartiva::testing
