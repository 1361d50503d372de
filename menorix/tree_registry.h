#pragma once

// Registries built on a KeyTree: the base of the persistent registry file on Linux, and of the
// in-memory one of the tests. Open keys are remembered by their path, so a key that was deleted
// after it was opened is reported as deleted, as Windows does.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

#include "menorix/key_tree.h"
#include "menorix/registry.h"

namespace kartiva {

class TreeRegistry : public Registry {
 public:
  using Reader = std::function<RegResult(const KeyTree&)>;

  // How many keys are open right now.
  std::size_t OpenKeyCount() const { return openKeys_.size(); }
  // Runs `read` on every key at once, as the registry stands now, and returns its result.
  [[nodiscard]] RegResult ReadTree(const Reader& read) { return Read(read); }

 protected:
  using Changer = std::function<RegResult(KeyTree&)>;

  // Runs `read` on the current tree and returns its result (or why the tree could not be read).
  [[nodiscard]] virtual RegResult Read(const Reader& read) = 0;
  // Runs `change` on the current tree and keeps what it changed when it returns kErrorSuccess. A
  // change that fails has changed nothing.
  [[nodiscard]] virtual RegResult Change(const Changer& change) = 0;

 private:
  [[nodiscard]] RegResult DoCreateKey(std::string_view path) override;
  [[nodiscard]] RegResult DoSetValue(std::string_view path, std::string_view name,
                                     std::string_view value) override;
  [[nodiscard]] RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override;
  [[nodiscard]] RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override;
  [[nodiscard]] RegResult DoCloseKey(std::uintptr_t handle) noexcept override;

  std::map<std::uintptr_t, KeyPath> openKeys_;
  std::uintptr_t nextHandle_ = 1;
};

}  // namespace kartiva
