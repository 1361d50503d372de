#include "platform/posix/file_manager_publisher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/posix/base/xdg_folders.h"
#include "platform/posix/entry_files.h"
#include "platform/posix/entry_text.h"
#include "platform/posix/errno_result.h"
#include "platform/posix/thunar_actions.h"

namespace kartiva::posix {
namespace {

namespace fs = std::filesystem;

constexpr RegResult kErrorAlreadyExists = 183;
constexpr RegResult kErrorFileCorrupt = 1392;
constexpr std::size_t kThunarFileLimit = std::size_t{4} * 1024 * 1024;
constexpr std::size_t kFileNameLimit = 255;  // bytes, as most Linux file systems allow

bool IsFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= kFileNameLimit &&
         name.find('/') == std::string_view::npos;
}

}  // namespace

FileManagerPlaces UserFileManagerPlaces() {
  const fs::path data = DataHome();
  const fs::path config = ConfigHome();
  return {.nautilusScripts = data / "nautilus" / "scripts",
          .cajaScripts = config / "caja" / "scripts",
          .nemoActions = data / "nemo" / "actions",
          .dolphinMenus = data / "kio" / "servicemenus",
          .thunarActions = config / "Thunar" / "uca.xml"};
}

RegResult FileManagerPublisher::Publish(const std::vector<MenuEntry>& entries) {
  problem_.clear();
  RegResult invalid = kErrorSuccess;
  const std::vector<MenuEntry> valid = Offerable(entries, invalid);
  std::vector<OwnFile> nautilus;
  std::vector<OwnFile> caja;
  std::vector<OwnFile> nemo;
  std::vector<OwnFile> dolphin;
  for (const MenuEntry& entry : valid) {
    nautilus.push_back(
        {entry.menuText, ScriptFile(entry, "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS"), 0755});
    caja.push_back({entry.menuText, ScriptFile(entry, "CAJA_SCRIPT_SELECTED_FILE_PATHS"), 0755});
    nemo.push_back({NemoActionFileName(entry.menuText), NemoAction(entry), 0644});
  }
  // Dolphin runs only service menus that are executable.
  if (!valid.empty()) {
    dolphin.push_back({std::string(kDolphinFileName), DolphinServiceMenu(valid), 0755});
  }
  // Every file manager is brought in line even after one failed; the first failure is reported.
  const RegResult results[] = {invalid,
                               SyncFolder(places_.nautilusScripts, nautilus),
                               SyncFolder(places_.cajaScripts, caja),
                               SyncFolder(places_.nemoActions, nemo),
                               SyncFolder(places_.dolphinMenus, dolphin),
                               SyncThunar(valid)};
  const auto* failure = std::find_if(std::begin(results), std::end(results),
                                     [](RegResult result) { return result != kErrorSuccess; });
  return failure == std::end(results) ? kErrorSuccess : *failure;
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
    return Fail(kErrorBadPathname, entry.menuText, "a menu text that cannot name an entry");
  }
  if (!IsPortableText(entry.program)) {
    return Fail(kErrorBadPathname, entry.program, "a program path that a file manager cannot run");
  }
  return kErrorSuccess;
}

RegResult FileManagerPublisher::SyncFolder(const fs::path& folder,
                                           const std::vector<OwnFile>& wanted) {
  RegResult first = RemoveUnwanted(folder, wanted);
  if (wanted.empty()) return first;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return Fail(CodeForErrno(error.value()), folder, "cannot create the folder");
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
  if (error) {
    return error.value() == ENOENT ? kErrorSuccess
                                   : Fail(CodeForErrno(error.value()), folder, "cannot list it");
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
      first = Fail(CodeForErrno(errno), path, "cannot remove it");
    }
  }
  if (error && first == kErrorSuccess) {
    first = Fail(CodeForErrno(error.value()), folder, "cannot list it");
  }
  return first;
}

RegResult FileManagerPublisher::WriteOwnFile(const fs::path& folder, const OwnFile& file) {
  const fs::path path = folder / file.name;
  const FileState state = InspectFile(path);
  if (state.kind == FileKind::Foreign) {
    return Fail(kErrorAlreadyExists, path, "a file of the user's own has this name; it is kept");
  }
  if (state.kind == FileKind::Ours && state.content == file.content && state.mode == file.mode) {
    return kErrorSuccess;
  }
  const RegResult result = ReplaceFile(path, file.content, file.mode);
  return result == kErrorSuccess ? result : Fail(result, path, "cannot write it");
}

RegResult FileManagerPublisher::SyncThunar(const std::vector<MenuEntry>& entries) {
  fs::path path = places_.thunarActions;
  std::error_code error;
  // A uca.xml that links elsewhere (as dotfile managers arrange) is written where it points.
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    path = fs::canonical(path, error);
    if (error) return Fail(CodeForErrno(error.value()), places_.thunarActions, "cannot follow it");
  }
  std::string current;
  if (RegResult result = ReadRegularFile(path, kThunarFileLimit, current)) {
    return Fail(result, path, "cannot read it as a plain file of at most 4 MiB");
  }
  std::vector<std::string> actions;
  actions.reserve(entries.size());
  for (const MenuEntry& entry : entries) actions.push_back(ThunarAction(entry));
  std::string merged;
  std::string why;
  if (!MergeThunarActions(current, actions, merged, why)) {
    return Fail(kErrorFileCorrupt, path, "cannot be merged safely: " + why);
  }
  if (merged == current) return kErrorSuccess;
  fs::create_directories(path.parent_path(), error);
  if (error) return Fail(CodeForErrno(error.value()), path, "cannot create its folder");
  const mode_t mode = ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
  const RegResult result = ReplaceFile(path, merged, mode);
  return result == kErrorSuccess ? result : Fail(result, path, "cannot write it");
}

RegResult FileManagerPublisher::Fail(RegResult code, const fs::path& path,
                                     const std::string& what) {
  if (problem_.empty()) problem_ = path.string() + ": " + what;
  return code;
}

}  // namespace kartiva::posix
