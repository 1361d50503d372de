#pragma once

// The classes root on Linux: a registry file in the .reg text form (reg_text.h). Every change is
// one locked read-modify-write of the whole file, written atomically, so two configurators at work
// at once lose no update and a crash leaves the old file or the new one. A file that does not have
// the form is never written over: every operation fails with kErrorRegistryCorrupt and problem()
// names the line.
//
// The file may be a symbolic link: the registry is read from and written to the file it leads to.
// A device, a pipe or a folder is refused (never opened), and so is a read-only file; neither is
// ever replaced.

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "menorix/tree_registry.h"

namespace kartiva::linux_os {

class RegFileRegistry final : public TreeRegistry {
 public:
  // The file need not exist yet; it and its folder are created by the first change. Each problem
  // is also written as a line to `report`, when there is one.
  explicit RegFileRegistry(const std::filesystem::path& file, std::FILE* report = nullptr);

  const std::filesystem::path& file() const { return file_; }
  // Why the last operation could not use the file: its name and what is wrong; "" when it could.
  const std::string& problem() const { return problem_; }
  std::string FailureDetail() const override { return problem_; }

 private:
  [[nodiscard]] RegResult Read(const Reader& read) override;
  [[nodiscard]] RegResult Change(const Changer& change) override;
  [[nodiscard]] RegResult FindTarget();
  std::string NotRegular(const std::filesystem::path& path) const;
  [[nodiscard]] RegResult Load(KeyTree& tree);
  [[nodiscard]] RegResult Save(const KeyTree& tree);
  [[nodiscard]] RegResult Fail(RegResult code, const std::string& what);
  [[nodiscard]] RegResult FailWithErrno(int error, std::string_view what);

  std::filesystem::path file_;
  std::FILE* report_;
  std::filesystem::path target_;  // file_ with its symbolic links followed
  mode_t targetMode_ = 0;         // 0 while there is no file
  std::string problem_;
};

// The registry file: $KARTIVA_REGISTRY, else $XDG_CONFIG_HOME/kartiva/classes.reg, else
// ~/.config/kartiva/classes.reg.
std::filesystem::path DefaultRegistryFile();

}  // namespace kartiva::linux_os
