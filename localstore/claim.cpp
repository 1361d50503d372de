#include "localstore/claim.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "linux_base/file_io.h"
#include "linux_base/file_lock.h"
#include "localstore/codes.h"
#include "localstore/in_flight.h"
#include "localstore/numbering.h"

namespace kartiva::localstore {

namespace fs = std::filesystem;

namespace {

// Gives the claimed document the basket name `name` beside its claim's: a hard link, so that a
// crash in between leaves both names on it and never none. Where the file system has no hard
// links (FAT, which has RENAME_NOREPLACE, so that a claim was made), the claim's name moves there
// instead, in one step, and `moved` says so.
int NameInBasket(const fs::path& claim, const fs::path& name, bool& moved) {
  const int error = linux_os::LinkName(claim, name);
  if (!linux_os::IsMissingHardLink(error)) return error;
  moved = true;
  return linux_os::RenameNoReplace(claim, name);
}

}  // namespace

ErrorCode Claim::Take(const fs::path& document) {
  fd_ = UniqueFd(::open(document.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd_.get() < 0) return errno == ENOENT ? kFileNotFound : kFileUnreadable;
  if (!IsRegularFile(fd_.get())) return kFileUnreadable;
  // Whoever holds the lock is claiming the same document, or handing it back: wait for them.
  if (!linux_os::LockWithin(fd_.get(), kLockWait)) return kFileNotFound;
  basket_ = document.parent_path();
  document_ = document.filename().string();
  if (ErrorCode code = NewIdentity(identity_)) return code;
  if (ErrorCode code = MakeInFlightFolder(basket_)) return code;
  const fs::path claim = InFlightName(basket_, ClaimName(identity_, document_));
  if (ErrorCode code = RenameToIdentityName(document, claim, basket_)) return code;
  claim_ = claim;
  // The name may have been given to another file since it was opened: that one goes back.
  if (!linux_os::NamesOpenFile(fd_.get(), claim_)) {
    PutBack();
    return kFileNotFound;
  }
  // On FUSE each name of a file has a lock of its own, and the basket name that was opened and
  // locked may have been made anew since (a hand-back links a document back): the lock taken
  // through it is then not the claim's, and a recovery would take the claim for a dead one. So
  // the claim's name is locked as well; on a local file system that is the lock held already.
  if (!LockByName(claim_, nameLock_)) nameLock_.reset();
  // The basket name is gone for good before the document can get an archive name: no power cut
  // shows it in both, whatever the file system writes first.
  if (const int error = linux_os::SyncFolder(basket_)) {
    PutBack();
    return CodeForErrno(error, kIoError);
  }
  return 0;
}

void Claim::Release() {
  static_cast<void>(linux_os::RemoveName(claim_));
  claim_.clear();
}

void Claim::PutBack() {
  // Should it fail, the document keeps its claim, and the next run's recovery hands it back.
  static_cast<void>(ReturnToBasket(claim_, basket_, document_));
  claim_.clear();
}

ErrorCode ReturnToBasket(const fs::path& claim, const fs::path& basket,
                         const std::string& document) {
  fs::path name = basket / document;
  bool moved = false;
  for (;;) {
    const int error = NameInBasket(claim, name, moved);
    // Both names on one file: an earlier hand-back that was cut short.
    if (error == 0 || (error == EEXIST && SameFile(claim, name))) break;
    if (error != EEXIST) return CodeForErrno(error, kIoError);
    unsigned long number = 0;
    if (ErrorCode code = NextNumber(basket, number)) return code;
    name = basket / DocumentName(number);
  }
  // The basket name reaches the disk before the claim goes, so that a power cut keeps one of them.
  if (const int error = linux_os::SyncFolder(basket)) return CodeForErrno(error, kIoError);
  return moved ? 0 : CodeForResult(linux_os::RemoveName(claim));
}

}  // namespace kartiva::localstore
