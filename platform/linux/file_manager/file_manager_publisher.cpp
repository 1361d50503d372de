#include "platform/linux/file_manager/file_manager_publisher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <system_error>
#include <utility>

#include "linux_base/xdg_folders.h"
#include "platform/linux/errno_result.h"
#include "platform/linux/file_manager/entry_files.h"
#include "platform/linux/file_manager/entry_text.h"
#include "platform/linux/file_manager/thunar_actions.h"

namespace kartiva::linux_os {
namespace {

namespace fs = std::filesystem;

constexpr RegResult kErrorAlreadyExists = 183;
constexpr RegResult kErrorFileCorrupt = 1392;
constexpr std::size_t kThunarFileLimit = std::size_t{4} * 1024 * 1024;
constexpr std::size_t kFileNameLimit = 255;  // bytes, as most Linux file systems allow
constexpr std::string_view kUsersOwn =
    "eine eigene Datei des Benutzers trägt diesen Namen; sie bleibt, wie sie ist";

bool IsFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kFileNameLimit &&
         name.find('/') == std::string_view::npos;
}

RegResult FirstFailure(std::initializer_list<RegResult> results) {
  const auto* failure = std::find_if(results.begin(), results.end(),
                                     [](RegResult result) { return result != kErrorSuccess; });
  return failure == results.end() ? kErrorSuccess : *failure;
}

// Whether `path` (followed when it is a link) may be a plain file that holds entries of ours.
bool MayHoldOurs(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISREG(info.st_mode);
  return errno != ENOENT && errno != ENOTDIR;
}

}  // namespace

FileManagerPlaces UserFileManagerPlaces() {
  const fs::path data = DataHome();
  const fs::path config = ConfigHome();
  return {.nautilusScripts = data / "nautilus" / "scripts",
          .cajaScripts = config / "caja" / "scripts",
          .nemoActions = data / "nemo" / "actions",
          .dolphinMenus = data / "kio" / "servicemenus",
          .thunarActions = config / "Thunar" / "uca.xml",
          .fileManagerActions = data / "file-manager" / "actions"};
}

RegResult FileManagerPublisher::Publish(const std::vector<MenuEntry>& entries) {
  problem_.clear();
  RegResult invalid = kErrorSuccess;
  const std::vector<MenuEntry> valid = Offerable(entries, invalid);
  const OwnFiles files = FilesFor(valid);
  // Every file manager is brought in line even after one failed; the first failure is reported.
  return FirstFailure({invalid, PublishFolder(places_.nautilusScripts, files.nautilus),
                       PublishFolder(places_.cajaScripts, files.caja),
                       PublishFolder(places_.nemoActions, files.nemo),
                       PublishFolder(places_.dolphinMenus, files.dolphin),
                       PublishFolder(places_.fileManagerActions, files.fileManager),
                       WriteThunarActions(valid, false)});
}

RegResult FileManagerPublisher::Withdraw(const std::vector<MenuEntry>& kept) {
  RegResult invalid = kErrorSuccess;
  const std::vector<MenuEntry> valid = Offerable(kept, invalid);
  // An entry that stays and cannot be offered is no failure of taking the others down.
  problem_.clear();
  const OwnFiles files = FilesFor(valid);
  return FirstFailure({RemoveUnwanted(places_.nautilusScripts, files.nautilus),
                       RemoveUnwanted(places_.cajaScripts, files.caja),
                       RemoveUnwanted(places_.nemoActions, files.nemo),
                       WithdrawFolder(places_.dolphinMenus, files.dolphin),
                       RemoveUnwanted(places_.fileManagerActions, files.fileManager),
                       WriteThunarActions(valid, true)});
}

RegResult FileManagerPublisher::Occupied(const std::string& menuText) {
  problem_.clear();
  if (!IsPortableText(menuText) || !IsFileName(menuText)) return kErrorSuccess;
  const OwnFiles files = FilesFor({{menuText, ""}});
  const std::pair<const fs::path*, const std::vector<OwnFile>*> places[] = {
      {&places_.nautilusScripts, &files.nautilus},
      {&places_.cajaScripts, &files.caja},
      {&places_.nemoActions, &files.nemo},
      {&places_.fileManagerActions, &files.fileManager}};
  for (const auto& [folder, wanted] : places) {
    for (const OwnFile& file : *wanted) {
      const fs::path path = *folder / file.name;
      struct stat info {};
      // A file the file manager would offer: a plain file, or a link to one.
      if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
          InspectFile(path).kind == FileKind::Foreign) {
        return Fail(kErrorAlreadyExists, path, std::string(kUsersOwn));
      }
    }
  }
  return kErrorSuccess;
}

FileManagerPublisher::OwnFiles FileManagerPublisher::FilesFor(
    const std::vector<MenuEntry>& entries) const {
  // Each file tells, should its program go, how to delete it by hand.
  const auto removal = [](const fs::path& folder, const std::string& name) {
    return RemovalByDeleting(folder / name);
  };
  OwnFiles files;
  for (const MenuEntry& entry : entries) {
    const std::string& script = entry.menuText;
    files.nautilus.push_back({script,
                              ScriptFile(entry, "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS",
                                         removal(places_.nautilusScripts, script)),
                              0755});
    files.caja.push_back(
        {script,
         ScriptFile(entry, "CAJA_SCRIPT_SELECTED_FILE_PATHS", removal(places_.cajaScripts, script)),
         0755});
    const std::string nemo = NemoActionFileName(entry.menuText);
    files.nemo.push_back({nemo, NemoAction(entry, removal(places_.nemoActions, nemo)), 0644});
    const std::string action = FileManagerActionFileName(entry.menuText);
    files.fileManager.push_back(
        {action, FileManagerAction(entry, removal(places_.fileManagerActions, action)), 0644});
  }
  // Dolphin runs only service menus that are executable.
  if (!entries.empty()) {
    const std::string dolphin(kDolphinFileName);
    files.dolphin.push_back(
        {dolphin, DolphinServiceMenu(entries, removal(places_.dolphinMenus, dolphin)), 0755});
  }
  return files;
}

std::vector<MenuEntry> FileManagerPublisher::Offerable(const std::vector<MenuEntry>& entries,
                                                       RegResult& invalid) {
  std::vector<MenuEntry> valid;
  for (const MenuEntry& entry : entries) {
    // An entry that cannot be offered is reported, and the others are still brought in line.
    const RegResult result = CheckEntry(entry);
    if (result == kErrorSuccess) {
      valid.push_back(entry);
    } else if (invalid == kErrorSuccess) {
      invalid = result;
    }
  }
  return valid;
}

RegResult FileManagerPublisher::CheckEntry(const MenuEntry& entry) {
  if (!IsPortableText(entry.menuText) || !IsFileName(entry.menuText)) {
    return Fail(kErrorBadPathname, entry.menuText,
                "ein Menütext, der keinen Eintrag benennen kann");
  }
  if (!IsPortableText(entry.program)) {
    return Fail(kErrorBadPathname, entry.program,
                "ein Programmpfad, den ein Dateimanager nicht starten kann");
  }
  return kErrorSuccess;
}

RegResult FileManagerPublisher::PublishFolder(const fs::path& folder,
                                              const std::vector<OwnFile>& wanted) {
  RegResult first = RemoveUnwanted(folder, wanted);
  if (wanted.empty()) return first;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error)
    return Fail(RegResultForErrno(error.value()), folder, "der Ordner kann nicht angelegt werden");
  for (const OwnFile& file : wanted) {
    const RegResult result = WriteOwnFile(folder, file);
    if (first == kErrorSuccess) first = result;
  }
  return first;
}

RegResult FileManagerPublisher::RemoveUnwanted(const fs::path& folder,
                                               const std::vector<OwnFile>& wanted) {
  std::error_code error;
  fs::directory_iterator files(folder, error);
  // No folder, or a file in its place: nothing of ours is in there.
  if (error) {
    return error.value() == ENOENT || error.value() == ENOTDIR
               ? kErrorSuccess
               : Fail(RegResultForErrno(error.value()), folder,
                      "der Ordner kann nicht gelesen werden");
  }
  RegResult first = kErrorSuccess;
  // Stepped with an error code: the range-for's increment would throw on a failing read.
  for (; files != fs::directory_iterator(); files.increment(error)) {
    const fs::path path = files->path();
    const std::string name = path.filename().string();
    const bool isWanted = std::any_of(wanted.begin(), wanted.end(),
                                      [&](const OwnFile& own) { return own.name == name; });
    if (isWanted || InspectFile(path).kind != FileKind::Ours) continue;
    if (::unlink(path.c_str()) != 0 && first == kErrorSuccess) {
      first = Fail(RegResultForErrno(errno), path, "die Datei kann nicht entfernt werden");
    }
  }
  if (error && first == kErrorSuccess) {
    first = Fail(RegResultForErrno(error.value()), folder, "der Ordner kann nicht gelesen werden");
  }
  return first;
}

RegResult FileManagerPublisher::WriteOwnFile(const fs::path& folder, const OwnFile& file) {
  const fs::path path = folder / file.name;
  const FileState state = InspectFile(path);
  if (state.kind == FileKind::Foreign) {
    return Fail(kErrorAlreadyExists, path, std::string(kUsersOwn));
  }
  if (state.kind == FileKind::Ours && state.content == file.content && state.mode == file.mode) {
    return kErrorSuccess;
  }
  const RegResult result = ReplaceFile(path, file.content, file.mode);
  return result == kErrorSuccess ? result
                                 : Fail(result, path, "die Datei kann nicht geschrieben werden");
}

RegResult FileManagerPublisher::WithdrawFolder(const fs::path& folder,
                                               const std::vector<OwnFile>& wanted) {
  RegResult first = RemoveUnwanted(folder, wanted);
  for (const OwnFile& file : wanted) {
    if (InspectFile(folder / file.name).kind != FileKind::Ours) continue;
    const RegResult result = WriteOwnFile(folder, file);
    if (first == kErrorSuccess) first = result;
  }
  return first;
}

RegResult FileManagerPublisher::WriteThunarActions(const std::vector<MenuEntry>& entries,
                                                   bool withdraw) {
  fs::path path = places_.thunarActions;
  if (withdraw && !MayHoldOurs(path)) return kErrorSuccess;
  std::error_code error;
  // A uca.xml that links elsewhere (as dotfile managers arrange) is written where it points.
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    path = fs::canonical(path, error);
    if (error)
      return Fail(RegResultForErrno(error.value()), places_.thunarActions,
                  "der Verweis kann nicht verfolgt werden");
  }
  std::string current;
  if (RegResult result = ReadRegularFile(path, kThunarFileLimit, current)) {
    return Fail(result, path, "keine lesbare Datei von höchstens 4 MiB");
  }
  std::vector<std::string> actions;
  actions.reserve(entries.size());
  for (const MenuEntry& entry : entries) {
    std::string action = ThunarAction(entry);
    if (!withdraw || current.find(action) != std::string::npos)
      actions.push_back(std::move(action));
  }
  std::string merged;
  std::string why;
  if (!MergeThunarActions(current, actions, merged, why)) {
    return Fail(kErrorFileCorrupt, path, "kann nicht sicher ergänzt werden: " + why);
  }
  if (merged == current) return kErrorSuccess;
  if (merged.empty()) {
    return ::unlink(path.c_str()) == 0
               ? kErrorSuccess
               : Fail(RegResultForErrno(errno), path, "die Datei kann nicht entfernt werden");
  }
  fs::create_directories(path.parent_path(), error);
  if (error)
    return Fail(RegResultForErrno(error.value()), path, "ihr Ordner kann nicht angelegt werden");
  const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
  const RegResult result = ReplaceFile(path, merged, mode);
  return result == kErrorSuccess ? result
                                 : Fail(result, path, "die Datei kann nicht geschrieben werden");
}

RegResult FileManagerPublisher::Fail(RegResult code, const fs::path& path,
                                     const std::string& what) {
  if (problem_.empty()) problem_ = path.string() + ": " + what;
  return code;
}

}  // namespace kartiva::linux_os
