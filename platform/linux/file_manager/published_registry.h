#pragma once

// The registry of the configurator on Linux: the registry file stays the record of what is
// registered, and after every operation the file managers' entries follow the record (the keys
// "*\shell\<menu text>\command"): a change that writes publishes the record in full, so a second
// "Aktivieren" leaves one entry per file manager; an opening or a deletion only takes down the
// entries that the record no longer holds, so "Deaktivieren" never fails on an entry that stays,
// and any operation, also the first of a "Deaktivieren", mends what a run that crashed half-way
// left behind. A publication that fails is the result of the operation before it, and of an
// opening that failed; a key that opened is opened all the same. A file of the user's own under
// the name of an entry that is opened or deleted and not in the record is reported like a
// failed publication (ERROR_ALREADY_EXISTS): it stays, and so does an entry in the menu.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "menorix/tree_registry.h"
#include "platform/linux/file_manager/file_manager_publisher.h"

namespace kartiva::linux_os {

class PublishedRegistry final : public Registry {
 public:
  // `lockFile` orders the publications of configurators that run at once, so the last one
  // publishes the record as it stands last.
  PublishedRegistry(TreeRegistry& record, FileManagerPublisher& publisher,
                    std::filesystem::path lockFile);

  // The file that the last failed publication could not write or leave, and why.
  std::string FailureDetail() const override { return detail_; }

 private:
  [[nodiscard]] RegResult DoCreateKey(std::string_view path) override;
  [[nodiscard]] RegResult DoSetValue(std::string_view path, std::string_view name,
                                     std::string_view value) override;
  [[nodiscard]] RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override;
  [[nodiscard]] RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override;
  [[nodiscard]] RegResult DoCloseKey(std::uintptr_t handle) noexcept override;

  enum class Publication { Full, Withdraw };

  // The publication's failure, else `result`.
  [[nodiscard]] RegResult Published(RegResult result, Publication publication = Publication::Full);
  [[nodiscard]] RegResult Publish(Publication publication);
  // After the entry `menuText` left the record (or was never in it): ERROR_ALREADY_EXISTS when a
  // file of the user's own still offers an entry under its name, else `result`.
  [[nodiscard]] RegResult Gone(std::string_view menuText, RegResult result);

  struct OpenedKey {
    RegistryKey key;
    std::string path;
  };

  TreeRegistry& record_;
  FileManagerPublisher& publisher_;
  std::filesystem::path lockFile_;
  std::map<std::uintptr_t, OpenedKey> keys_;
  std::uintptr_t nextHandle_ = 1;
  std::string detail_;
};

}  // namespace kartiva::linux_os
