#pragma once

// Makes the context-menu entries of the common Linux file managers match a list of entries, per
// user: writes what is missing or changed, removes what was written here and is no longer wanted,
// and never changes a file of the user's own.

#include <filesystem>
#include <string>
#include <vector>

#include "menorix/registry.h"
#include "platform/linux/file_manager/file_manager_entries.h"

namespace kartiva::linux_os {

// Where each file manager looks for the user's entries.
struct FileManagerPlaces {
  std::filesystem::path nautilusScripts;     // GNOME Files: one script per entry
  std::filesystem::path cajaScripts;         // Caja: one script per entry
  std::filesystem::path nemoActions;         // Nemo: one .nemo_action file per entry
  std::filesystem::path dolphinMenus;        // Dolphin: one service menu for all entries
  std::filesystem::path thunarActions;       // Thunar: the user's uca.xml
  std::filesystem::path fileManagerActions;  // PCManFM-Qt...: one .desktop per entry
};

// The places under the user's XDG base folders.
FileManagerPlaces UserFileManagerPlaces();

class FileManagerPublisher {
 public:
  explicit FileManagerPublisher(FileManagerPlaces places) : places_(std::move(places)) {}

  // Every file manager offers exactly `entries` afterwards, as far as it can be done: the first
  // failure's code, else 0. A name taken by a file of the user's own is left to the user and
  // fails with ERROR_ALREADY_EXISTS; problem() names the file and what is wrong (in German, the
  // language of the configurator's boxes that show it).
  [[nodiscard]] RegResult Publish(const std::vector<MenuEntry>& entries);
  // Takes down every entry written here that is not among `kept`, and writes no entry: it fails
  // neither on an entry that stays nor on a file that cannot hold an entry of ours (a pipe, a
  // folder, no file). The first failure to take down a file of ours, else 0.
  [[nodiscard]] RegResult Withdraw(const std::vector<MenuEntry>& kept);
  // Whether a file of the user's own stands where the entry `menuText` would be written (and so
  // offers an entry of that name): ERROR_ALREADY_EXISTS with problem() naming it, else 0.
  [[nodiscard]] RegResult Occupied(const std::string& menuText);
  const std::string& problem() const { return problem_; }

 private:
  struct OwnFile {
    std::string name;
    std::string content;
    mode_t mode;
  };
  // The files of the per-entry folders and of Dolphin for some entries.
  struct OwnFiles {
    std::vector<OwnFile> nautilus;
    std::vector<OwnFile> caja;
    std::vector<OwnFile> nemo;
    std::vector<OwnFile> dolphin;
    std::vector<OwnFile> fileManager;
  };

  // The entries that every file manager can carry; `invalid` gets the first other one's code.
  std::vector<MenuEntry> Offerable(const std::vector<MenuEntry>& entries, RegResult& invalid);
  [[nodiscard]] RegResult CheckEntry(const MenuEntry& entry);
  OwnFiles FilesFor(const std::vector<MenuEntry>& entries) const;
  // Makes the files of ours in `folder` exactly `wanted`: takes the others away, writes these.
  [[nodiscard]] RegResult PublishFolder(const std::filesystem::path& folder,
                                        const std::vector<OwnFile>& wanted);
  [[nodiscard]] RegResult RemoveUnwanted(const std::filesystem::path& folder,
                                         const std::vector<OwnFile>& wanted);
  [[nodiscard]] RegResult WriteOwnFile(const std::filesystem::path& folder, const OwnFile& file);
  // Brings the files of ours in `folder` down to `wanted`, rewriting only those already there.
  [[nodiscard]] RegResult WithdrawFolder(const std::filesystem::path& folder,
                                         const std::vector<OwnFile>& wanted);
  // Makes uca.xml hold exactly the actions of `entries`; when `withdraw`, only those of them it
  // holds already, and a uca.xml that cannot hold actions of ours is left alone.
  [[nodiscard]] RegResult WriteThunarActions(const std::vector<MenuEntry>& entries, bool withdraw);
  [[nodiscard]] RegResult Fail(RegResult code, const std::filesystem::path& path,
                               const std::string& what);

  FileManagerPlaces places_;
  std::string problem_;
};

}  // namespace kartiva::linux_os
