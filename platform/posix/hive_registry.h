#pragma once

// The classes root on Linux: a registry file in the .reg text form, which people can read and
// edit. Every change is one locked read-modify-write of the whole file, written atomically, so two
// configurators at work at once lose no update and a crash leaves the old file or the new one.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\*]
//
//   [HKEY_CLASSES_ROOT\*\shell]
//
//   [HKEY_CLASSES_ROOT\*\shell\In KV5-Archiv ablegen]
//   "Icon"="C:\\Tools\\Tresolo.exe"
//   "MultiSelectModel"="Player"
//
//   [HKEY_CLASSES_ROOT\*\shell\In KV5-Archiv ablegen\command]
//   @="C:\\Tools\\Tresolo.exe %1"
//
// Every key has its own section, also one without a value, in the order of a depth-first walk
// with sub-keys sorted by name without regard to case. Its default value (@=) comes first, then
// its named values sorted the same way. Names and values are written between double quotes with
// \\, \", \n, \r, \t and \xHH (the other control characters) escaped, so any text comes back
// exactly. A file that does not have this form, also one with comments or other value types that
// a rewrite would lose, is never written over: every operation fails with kErrorRegistryCorrupt
// and problem() names the line. The same holds for a file larger than kMaxHiveBytes, with more
// than kMaxHiveKeys keys, or with a key deeper than kMaxKeyDepth: the file is read like any input
// from outside, in time and memory bounded by its size.
//
// The file may be a symbolic link: the hive is read from and written to the file it leads to. A
// device, a pipe or a folder is refused (never opened), and so is a read-only file; neither is
// ever replaced.

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/posix/tree_registry.h"

namespace kartiva::posix {

inline constexpr std::size_t kMaxHiveBytes = std::size_t{8} << 20;
inline constexpr std::size_t kMaxHiveKeys = 100000;

class HiveRegistry final : public TreeRegistry {
 public:
  // The file need not exist yet; it and its folder are created by the first change. Each problem
  // is also written as a line to `report`, when there is one.
  explicit HiveRegistry(const std::filesystem::path& file, std::FILE* report = nullptr);

  const std::filesystem::path& file() const { return file_; }
  // Why the last operation could not use the file: its name and what is wrong; "" when it could.
  const std::string& problem() const { return problem_; }

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

// The hive file: $KARTIVA_REGISTRY, else $XDG_CONFIG_HOME/kartiva/classes.reg, else
// ~/.config/kartiva/classes.reg.
std::filesystem::path DefaultHivePath();

// The text of a hive file holding `tree`.
std::string FormatHive(const KeyTree& tree);
// Reads a hive file's text into `tree`; false, with the line and what is wrong in `problem`, when
// the text does not have the hive file's form.
bool ParseHive(std::string_view text, KeyTree& tree, std::string& problem);

}  // namespace kartiva::posix
