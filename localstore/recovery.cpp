#include "localstore/recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "linux_base/file_io.h"
#include "localstore/claim.h"
#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/files.h"
#include "localstore/folder_stamp.h"
#include "localstore/in_flight.h"
#include "localstore/numbering.h"
#include "localstore/original_name.h"
#include "localstore/publishing.h"
#include "localstore/store.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

// How long recovery waits for an index that another process holds before it leaves what needs
// that index for a later run: a repair is nobody's errand, and nobody should wait for it.
constexpr std::chrono::seconds kRecoveryWait{1};

// The names in a folder, none when there is no such folder; false when it cannot be read to its
// end.
bool NamesIn(const std::string& folder, std::vector<std::string>& names) {
  const int error = linux_os::NamesIn(folder, names);
  return error == 0 || error == ENOENT;
}

bool StartsWith(std::string_view name, std::string_view prefix) {
  return name.substr(0, prefix.size()) == prefix;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// Whether `name` in the open folder `folder` is a regular file itself, not a link to one.
bool IsRegularName(int folder, const char* name) {
  struct stat info {};
  return ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

// The archive open as a folder, for looking up its names one by one: each is then found in it,
// not by walking the whole path again. A folder that may be searched but not read opens so too.
UniqueFd OpenFolder(const fs::path& archive) {
  return UniqueFd(::open(archive.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// Whether `path` holds the document open as `fd`: the same file, or the same bytes (a copy made
// across file systems); kUnreadable when a read failed, which never counts as a difference.
Found HoldsSameDocument(int fd, const fs::path& path) {
  const UniqueFd other(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (other.get() < 0) return errno == ENOENT || errno == ENOTDIR ? Found::kNo : Found::kUnreadable;
  struct stat mine {};
  struct stat theirs {};
  if (::fstat(fd, &mine) != 0 || ::fstat(other.get(), &theirs) != 0) return Found::kUnreadable;
  if (!S_ISREG(theirs.st_mode) || mine.st_size != theirs.st_size) return Found::kNo;
  if (mine.st_dev == theirs.st_dev && mine.st_ino == theirs.st_ino) return Found::kYes;
  std::vector<char> a(1 << 16), b(1 << 16);
  for (off_t offset = 0; offset < mine.st_size;) {
    std::size_t got = 0;
    std::size_t theirsGot = 0;
    if (linux_os::ReadAt(fd, a.data(), a.size(), offset, got) != 0 ||
        linux_os::ReadAt(other.get(), b.data(), got, offset, theirsGot) != 0) {
      return Found::kUnreadable;
    }
    if (got == 0 || theirsGot != got || std::memcmp(a.data(), b.data(), got) != 0)
      return Found::kNo;
    offset += static_cast<off_t>(got);
  }
  return Found::kYes;
}

// Whether a row's file is gone or is no document, and no copy of it is on its way.
bool Orphaned(const fs::path& archive, int folder, const FiledDocument& row) {
  if (IsRegularName(folder, row.file.c_str())) return false;
  return row.identity.empty() || !Exists(InFlightName(archive, row.identity));
}

// Removes a temporary file whose writer died.
void RemoveIfDead(const fs::path& path, Repairs& repairs) {
  UniqueFd fd;
  if (LockByName(path, fd) && linux_os::RemoveName(path) == 0) ++repairs.removed;
}

}  // namespace

void Recovery::ShareIndex(const fs::path& archive, ArchiveIndex& index) {
  indexes_[archive] = &index;
}

ArchiveIndex* Recovery::IndexOf(const fs::path& archive) {
  const auto shared = indexes_.find(archive);
  if (shared != indexes_.end()) return shared->second;
  auto index = std::make_unique<ArchiveIndex>();
  ArchiveIndex* opened = index->Open(archive, kRecoveryWait) == 0 ? index.get() : nullptr;
  opened_[archive] = std::move(index);
  return indexes_[archive] = opened;
}

void Recovery::Count(ErrorCode code, int& done) { ++(code == 0 ? done : repairs_.leftForLater); }

// Asks every archive with the question `holds`: kYes as soon as one holds the document, kNo
// when none does, kUnreadable as soon as one cannot tell.
Found Recovery::AskEveryArchive(
    const std::function<Found(const fs::path& archive, ArchiveIndex& index)>& holds) {
  std::vector<std::string> archives;
  if (!NamesIn(store_.root() / "archives", archives)) return Found::kUnreadable;
  for (const std::string& name : archives) {
    const fs::path archive = store_.root() / "archives" / name;
    std::error_code error;
    if (!IsSafeName(name) || !fs::is_directory(archive, error)) continue;
    ArchiveIndex* index = IndexOf(archive);
    const Found found = index ? holds(archive, *index) : Found::kUnreadable;
    if (found != Found::kNo) return found;
  }
  return Found::kNo;
}

// Whether an archive holds the claimed document open as `claim` under the row of the claim's
// identity, after publishing its staged copy where it is still staged. A row whose document is
// in none of its places (a power cut lost the names its commit came before) goes.
Found Recovery::FindClaimed(const std::string& identity, int claim) {
  return AskEveryArchive([&](const fs::path& archive, ArchiveIndex& index) {
    std::string file;
    const Found row = index.FindIdentity(identity, file);
    if (row != Found::kYes) return row;
    // The claimant is dead, so its staged copy is nobody's work any more.
    const bool staged = Exists(InFlightName(archive, identity));
    if (staged && PublishStaged(index, archive, identity, file) != 0) return Found::kUnreadable;
    const Found held = HoldsSameDocument(claim, archive / file);
    if (held != Found::kNo) return held;
    return index.RemoveIdentity(identity) == 0 ? Found::kNo : Found::kUnreadable;
  });
}

// A claim whose document an archive holds goes; one that no archive holds goes back to its
// basket; one that cannot be told stays as it is.
void Recovery::Conclude(Found stored, const fs::path& claim, const fs::path& basket,
                        const std::string& document) {
  switch (stored) {
    case Found::kYes:
      // A file system that wrote the claim's new name but not the removal of its old one shows
      // the document in the basket too: that name goes with the claim.
      if (SameFile(claim, basket / document))
        static_cast<void>(linux_os::RemoveName(basket / document));
      static_cast<void>(linux_os::RemoveName(claim));
      ++repairs_.finished;
      break;
    case Found::kNo:
      Count(ReturnToBasket(claim, basket, document), repairs_.handedBack);
      CrashPoint("claim-handed-back");
      break;
    case Found::kUnreadable:
      ++repairs_.leftForLater;
  }
}

void Recovery::SettleClaim(const fs::path& basket, const std::string& name) {
  std::string identity;
  std::string document;
  if (!SplitClaimName(name, identity, document)) return;
  const fs::path claim = InFlightName(basket, name);
  UniqueFd fd;
  if (!LockByName(claim, fd)) return;
  Conclude(FindClaimed(identity, fd.get()), claim, basket, document);
}

// A staged copy of a store made before identities, ".store-<file>" beside the documents, moves
// into the in-flight folder under a new identity that its row takes too, and is published there.
// Without a row it goes; its document is still claimed in its basket or was only a copy.
bool Recovery::AdoptOldStaged(const fs::path& archive, ArchiveIndex& index,
                              const std::string& file) {
  const fs::path old = archive / (std::string(kStagedPrefix) + file);
  const Found row = index.HasFile(file);
  if (row == Found::kUnreadable) return false;
  if (row == Found::kNo) return linux_os::RemoveName(old) == 0;
  std::string identity;
  std::string published = file;
  return NewIdentity(identity) == 0 && index.GiveIdentity(file, identity) == 0 &&
         MakeInFlightFolder(archive) == 0 &&
         RenameToIdentityName(old, InFlightName(archive, identity), archive) == 0 &&
         PublishStaged(index, archive, identity, published) == 0;
}

// A claim of a store made before identities knows only where its document came from: the archive
// holds it when a row of that origin names a file with the same content.
Found Recovery::FindClaimedByOrigin(const std::string& origin, int claim) {
  return AskEveryArchive([&](const fs::path& archive, ArchiveIndex& index) {
    std::vector<std::string> files;
    if (index.FindOrigin(origin, files) == Found::kUnreadable) return Found::kUnreadable;
    for (const std::string& file : files) {
      const bool staged = Exists(archive / (std::string(kStagedPrefix) + file));
      if (staged && !AdoptOldStaged(archive, index, file)) return Found::kUnreadable;
      const Found held = HoldsSameDocument(claim, archive / file);
      if (held != Found::kNo) return held;
    }
    return Found::kNo;
  });
}

void Recovery::SettleOldClaim(const fs::path& basket, const std::string& name) {
  const std::string document = name.substr(kClaimPrefix.size());
  const fs::path claim = basket / name;
  UniqueFd fd;
  if (!LockByName(claim, fd)) return;
  Conclude(FindClaimedByOrigin(basket.filename().string() + "/" + document, fd.get()), claim,
           basket, document);
}

void Recovery::SettleStaged(const fs::path& archive, const std::string& identity) {
  const fs::path staged = InFlightName(archive, identity);
  UniqueFd fd;
  if (!LockByName(staged, fd)) return;
  ArchiveIndex* index = IndexOf(archive);
  std::string file;
  const Found row = index ? index->FindIdentity(identity, file) : Found::kUnreadable;
  if (row == Found::kYes) {
    Count(PublishStaged(*index, archive, identity, file), repairs_.finished);
  } else if (row == Found::kNo) {
    static_cast<void>(linux_os::RemoveName(staged));
    ++repairs_.removed;
  } else {
    ++repairs_.leftForLater;
  }
}

void Recovery::RecoverBasket(const fs::path& basket, bool whole) {
  std::vector<std::string> names;
  if (!NamesIn(InFlightFolder(basket), names)) ++repairs_.leftForLater;
  for (const std::string& name : names) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(InFlightName(basket, name), repairs_);
    if (IsIdentity(name.substr(0, kIdentityLength))) SettleClaim(basket, name);
  }
  if (whole || ChangedFromOutside(basket)) ScanBasket(basket);
}

void Recovery::ScanBasket(const fs::path& basket) {
  std::vector<std::string> names;
  const int before = repairs_.leftForLater;
  if (!NamesIn(basket, names)) ++repairs_.leftForLater;
  for (const std::string& name : names) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(basket / name, repairs_);
    if (StartsWith(name, kClaimPrefix) && NumberIn(name) != 0) SettleOldClaim(basket, name);
  }
  if (repairs_.leftForLater == before) RecordFolderStamp(basket);
}

void Recovery::RecoverArchive(const fs::path& archive, bool whole) {
  std::vector<std::string> names;
  if (!NamesIn(InFlightFolder(archive), names)) ++repairs_.leftForLater;
  for (const std::string& name : names) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(InFlightName(archive, name), repairs_);
    if (IsIdentity(name)) SettleStaged(archive, name);
  }
  if (whole || ChangedFromOutside(archive)) {
    ScanArchive(archive);
  } else {
    CheckLatestRows(archive);
  }
}

// A power cut after a row's commit can take both names of its document, the staged one and the
// published one, from a folder that was not flushed yet, without changing the folder as its stamp
// saw it: every operation looks whether the newest rows still have their files.
void Recovery::CheckLatestRows(const fs::path& archive) {
  ArchiveIndex* index = IndexOf(archive);
  std::vector<std::string> files;
  const UniqueFd folder = OpenFolder(archive);
  if (!index || folder.get() < 0 || index->LatestFiles(files) != Found::kYes) return;
  for (std::string& file : files) {
    if (IsRegularName(folder.get(), file.c_str())) continue;
    FiledDocument row{.file = std::move(file), .identity = {}};
    if (index->IdentityOf(row.file, row.identity) != Found::kYes ||
        !Orphaned(archive, folder.get(), row))
      continue;
    Count(index->Remove(row.file), repairs_.rowsRemoved);
  }
}

void Recovery::ScanArchive(const fs::path& archive) {
  const int before = repairs_.leftForLater;
  ArchiveIndex* index = IndexOf(archive);
  if (index) {
    Reconcile(archive, *index);
  } else {
    ++repairs_.leftForLater;
  }
  if (repairs_.leftForLater == before) RecordFolderStamp(archive);
}

// A document file that no row names (a store killed before its row in earlier times, a file
// put there by hand) gets its row: it is never deleted, since it may be the only copy. A row
// whose file is gone or is no document (a user deleted it) goes, unless its copy is on its way.
void Recovery::Reconcile(const fs::path& archive, ArchiveIndex& index) {
  std::vector<std::string> names;
  std::vector<FiledDocument> rows;
  const UniqueFd folder = OpenFolder(archive);
  if (folder.get() < 0 || !NamesIn(archive, names) || index.AllRows(rows) != Found::kYes) {
    ++repairs_.leftForLater;
    return;
  }
  std::set<std::string> unfiled;
  for (const std::string& name : names) {
    if (StartsWith(name, kIncomingPrefix)) RemoveIfDead(archive / name, repairs_);
    UniqueFd fd;
    if (StartsWith(name, kStagedPrefix) && NumberIn(name) != 0 && LockByName(archive / name, fd)) {
      ++(AdoptOldStaged(archive, index, name.substr(kStagedPrefix.size())) ? repairs_.finished
                                                                           : repairs_.leftForLater);
    }
    if (DocumentNumber(name) != 0 && IsRegularName(folder.get(), name.c_str()))
      unfiled.insert(name);
  }
  for (const FiledDocument& row : rows) {
    if (unfiled.erase(row.file) != 0 || !Orphaned(archive, folder.get(), row)) continue;
    Count(index.Remove(row.file), repairs_.rowsRemoved);
  }
  for (const std::string& file : unfiled) {
    UniqueFd fd(::open((archive / file).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0 || !IsRegularFile(fd.get())) continue;
    Count(index.Add({.file = file,
                     .documentName = file,
                     .indexString = "",
                     .originalName = OriginalName(fd.get(), file)}),
          repairs_.rowsAdded);
  }
}

}  // namespace kartiva::localstore
