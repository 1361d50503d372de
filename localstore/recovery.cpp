#include "localstore/recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "localstore/archive_index.h"
#include "localstore/claim.h"
#include "localstore/files.h"
#include "localstore/numbering.h"
#include "localstore/original_name.h"
#include "localstore/store.h"
#include "posix_base/atomic_file.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
  }
  return names;
}

bool StartsWith(std::string_view name, std::string_view prefix) {
  return name.substr(0, prefix.size()) == prefix;
}

// Opens and locks a file of the store whose process died; false while its process lives, or
// when the name now names another file.
bool TakeOver(const fs::path& path, UniqueFd& fd) {
  fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  return fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && StillNamedBy(fd.get(), path);
}

void RemoveIfDead(const fs::path& path) {
  UniqueFd fd;
  if (TakeOver(path, fd)) ::unlink(path.c_str());
}

// The archive that holds the row of the document moved out of the basket as `origin`.
bool FindStored(const Store& store, const std::string& origin, fs::path& archive,
                std::string& file) {
  for (const std::string& name : NamesIn(store.root() / "archives")) {
    if (!IsSafeName(name)) continue;
    ArchiveIndex index;
    if (index.Open(store.root() / "archives" / name) == 0 && index.FindOrigin(origin, file)) {
      archive = store.root() / "archives" / name;
      return true;
    }
  }
  return false;
}

void SettleClaim(const Store& store, const fs::path& basket, const std::string& name) {
  const fs::path claim = basket / name;
  UniqueFd fd;
  if (!TakeOver(claim, fd)) return;
  const std::string origin = basket.filename().string() + "/" + name.substr(kClaimPrefix.size());
  fs::path archive;
  std::string file;
  if (FindStored(store, origin, archive, file)) {
    PublishStaged(archive, file, true);
    if (::access((archive / file).c_str(), F_OK) == 0) {
      ::unlink(claim.c_str());
      return;
    }
  }
  // Should it fail, the claim stays for the next run's recovery.
  static_cast<void>(ReturnToBasket(claim));
}

void SettleStaged(ArchiveIndex& index, const fs::path& archive, const std::string& name) {
  const fs::path staged = archive / name;
  UniqueFd fd;
  if (!TakeOver(staged, fd)) return;
  const std::string file = name.substr(kStagedPrefix.size());
  if (index.HasFile(file)) {
    PublishStaged(archive, file, true);
  } else {
    ::unlink(staged.c_str());
  }
}

// A document file that no row names, as a store killed before its row left it in earlier times,
// gets its row: it is never deleted, since it may be the only copy. A row whose file is gone (a
// user deleted it) goes, as long as no staged copy is on its way to that name.
void Reconcile(ArchiveIndex& index, const fs::path& archive,
               const std::vector<std::string>& documents) {
  std::set<std::string> unfiled = index.Files();
  for (const std::string& file : documents) {
    if (unfiled.erase(file) != 0) continue;
    UniqueFd fd(::open((archive / file).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) continue;
    // A row that cannot be written now is found missing again by the next run.
    static_cast<void>(index.Add({.file = file,
                                 .documentName = file,
                                 .indexString = "",
                                 .originalName = OriginalName(fd.get(), file)}));
  }
  // Rows added after the folder was read have their staged copy already: it is made first.
  for (const std::string& file : unfiled) {
    const fs::path staged = archive / (std::string(kStagedPrefix) + file);
    if (::access((archive / file).c_str(), F_OK) != 0 && ::access(staged.c_str(), F_OK) != 0) {
      static_cast<void>(index.Remove(file));  // a row left is met again next run
    }
  }
}

}  // namespace

void PublishStaged(const fs::path& archive, const std::string& file, bool flush) {
  const fs::path staged = archive / (std::string(kStagedPrefix) + file);
  const fs::path document = archive / file;
  // A file of another inode under the document's name is not the document: the copy stays.
  const bool published = ::link(staged.c_str(), document.c_str()) == 0 ||
                         (errno == EEXIST && SameFile(staged, document));
  // The flush is best effort: recovery has nobody to report a failure to.
  if (published && ::unlink(staged.c_str()) == 0 && flush) {
    static_cast<void>(posix::SyncFolder(archive));
  }
}

void RecoverBasket(const Store& store, const fs::path& basket) {
  for (const std::string& name : NamesIn(basket)) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(basket / name);
    if (StartsWith(name, kClaimPrefix) && NumberIn(name) != 0) SettleClaim(store, basket, name);
  }
}

void RecoverArchive(ArchiveIndex& index, const fs::path& archive) {
  std::vector<std::string> documents;
  for (const std::string& name : NamesIn(archive)) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(archive / name);
    if (StartsWith(name, kStagedPrefix) && NumberIn(name) != 0) SettleStaged(index, archive, name);
    if (DocumentNumber(name) != 0) documents.push_back(name);
  }
  Reconcile(index, archive, documents);
}

}  // namespace kartiva::localstore
