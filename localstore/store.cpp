#include "localstore/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "linux_base/atomic_file.h"
#include "linux_base/environment.h"
#include "linux_base/file_io.h"
#include "linux_base/xdg_folders.h"
#include "localstore/archive_index.h"
#include "localstore/codes.h"
#include "localstore/files.h"
#include "localstore/in_flight.h"
#include "localstore/numbering.h"
#include "localstore/private_modes.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool SameKey(std::string_view a, std::string_view b) {
  // The keys are ASCII: folded without the locale's tables.
  const auto fold = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

[[nodiscard]] ErrorCode CreateFolders(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  return error ? CodeForErrno(error.value(), kIoError) : 0;
}

}  // namespace

fs::path DefaultRoot() {
  if (const char* home = linux_os::NonEmptyVariable("KARTIVA_HOME")) return home;
  return linux_os::DataHome() / "kartiva";
}

bool IsSafeName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20;
  });
}

bool Store::IsInitialised() const { return ::access(ini_.c_str(), F_OK) == 0; }

ErrorCode Store::Initialise() const {
  if (IsInitialised()) return 0;
  const fs::path archive = root_ / "archives" / kDefaultArchive;
  const fs::path basket = root_ / "baskets" / kDefaultBasket;
  std::error_code error;
  const bool newRoot = !fs::exists(root_, error);
  if (ErrorCode code = CreateFolders(basket)) return code;
  if (ErrorCode code = CreateFolders(archive)) return code;
  for (const fs::path& folder : {basket, archive}) KeepPrivate(folder);
  // A folder that was there before is the user's choice; one made here is the store's.
  if (newRoot) KeepPrivate(root_);
  KeepStorePrivate(root_);
  if (ErrorCode code = MakeInFlightFolder(basket)) return code;
  if (ErrorCode code = MakeInFlightFolder(archive)) return code;
  if (ErrorCode code = StartCounting(basket)) return code;
  if (ErrorCode code = StartCounting(archive)) return code;
  if (ErrorCode code = ArchiveIndex::Create(archive)) return code;
  const std::string ini = "[Kartiva]\nActiveBasket=" + std::string(kDefaultBasket) +
                          "\nActiveArchive=" + std::string(kDefaultArchive) + "\n";
  return CodeForResult(linux_os::ReplaceFileAtomically(ini_, ini, S_IRUSR | S_IWUSR));
}

ErrorCode Store::ReadSetting(std::string_view key, std::string& value) const {
  std::string ini;
  if (!ReadSmallFile(ini_, kLargestIni, ini)) return kNotStarted;
  value.clear();
  std::string_view rest = ini;
  while (!rest.empty()) {
    const auto end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const auto equals = line.find('=');
    if (equals != std::string_view::npos && SameKey(Trim(line.substr(0, equals)), key)) {
      value = Trim(line.substr(equals + 1));
    }
  }
  return 0;
}

ErrorCode Store::Folder(std::string_view kind, const std::string& name, ErrorCode missing,
                        fs::path& folder) const {
  if (!IsInitialised()) return kNotStarted;
  if (!IsSafeName(name)) return kBadName;
  std::error_code error;
  fs::path candidate(PathIn(PathIn(root_.native(), kind), name));
  if (!fs::is_directory(candidate, error)) return missing;
  folder = std::move(candidate);
  return 0;
}

ErrorCode Store::BasketFolder(const std::string& name, fs::path& folder) const {
  return Folder("baskets", name, kNoSuchBasket, folder);
}

ErrorCode Store::ArchiveFolder(const std::string& name, fs::path& folder) const {
  return Folder("archives", name, kNoSuchArchive, folder);
}

ErrorCode Store::ListArchives(std::string& names) const {
  names.clear();
  if (!IsInitialised()) return kNotStarted;
  const UniqueFd folder(::open(PathIn(root_.native(), "archives").c_str(),
                               O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
  if (folder.get() < 0) return CodeForErrno(errno, kIoError);
  std::vector<std::string> archives;
  // An archive reached through a link counts, as the store opens it by its name.
  const int error = linux_os::ForEachName(folder.get(), [&](const char* name) {
    struct stat facts {};
    if (IsSafeName(name) && ::fstatat(folder.get(), name, &facts, 0) == 0 &&
        S_ISDIR(facts.st_mode)) {
      archives.emplace_back(name);
    }
    return false;
  });
  if (error != 0) return CodeForErrno(error, kIoError);
  std::sort(archives.begin(), archives.end());
  for (const std::string& name : archives) names += (names.empty() ? "" : ",") + name;
  return 0;
}

bool Store::ClaimableDocument(const fs::path& file, fs::path& document) const {
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (DocumentNumber(file.filename().string()) == 0) return false;
  std::error_code error;
  const fs::path baskets = fs::canonical(root_ / "baskets", error);
  if (error) return false;
  const fs::path folder = fs::canonical(file.parent_path(), error);
  if (error || folder.parent_path() != baskets) return false;
  document = folder / file.filename();
  return true;
}

UniqueFd Store::OpenJournal() const {
  const std::string journal = PathIn(root_.native(), "journal.log");
  UniqueFd fd(::open(journal.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
                     kPrivateFile));
  struct stat facts {};
  if (fd.get() < 0 || ::fstat(fd.get(), &facts) != 0 || !S_ISREG(facts.st_mode)) return {};
  // Every run that works on the store writes its journal: a store made before its files were
  // private (its journal is open to others, or new) becomes so here.
  if ((facts.st_mode & kOthersRights) != 0 || facts.st_size == 0) KeepStorePrivate(root_);
  return fd;
}

void Store::Journal(int fd, const std::string& lines) {
  // One write as a rule: appends from many processes at once never interleave within a line.
  if (fd >= 0) static_cast<void>(linux_os::WriteAll(fd, lines.data(), lines.size()));
}

}  // namespace kartiva::localstore
