#include "localstore/claim.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "localstore/codes.h"
#include "localstore/in_flight.h"
#include "localstore/numbering.h"
#include "posix_base/file_io.h"
#include "posix_base/file_lock.h"

namespace kartiva::localstore {

namespace fs = std::filesystem;

bool StillNamedBy(int fd, const fs::path& path) {
  struct stat open {};
  struct stat named {};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

ErrorCode Claim::Take(const fs::path& document) {
  fd_ = UniqueFd(::open(document.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd_.get() < 0) return errno == ENOENT ? kFileNotFound : kFileUnreadable;
  if (!IsRegularFile(fd_.get())) return kFileUnreadable;
  // Whoever holds the lock is claiming the same document, or handing it back: wait for them.
  if (!posix::LockWithin(fd_.get(), kLockWait)) return kFileNotFound;
  basket_ = document.parent_path();
  document_ = document.filename().string();
  if (ErrorCode code = NewIdentity(identity_)) return code;
  if (ErrorCode code = MakeInFlightFolder(basket_)) return code;
  const fs::path claim = InFlightFolder(basket_) / ClaimName(identity_, document_);
  if (const int error = posix::RenameNoReplace(document, claim)) {
    return error == ENOENT ? kFileNotFound : CodeForErrno(error, kIoError);
  }
  claim_ = claim;
  // The name may have been given to another file since it was opened: that one goes back.
  if (!StillNamedBy(fd_.get(), claim_)) {
    PutBack();
    return kFileNotFound;
  }
  // The basket name is gone for good before the document can get an archive name: no power cut
  // shows it in both, whatever the file system writes first.
  if (const int error = posix::SyncFolder(basket_)) {
    PutBack();
    return CodeForErrno(error, kIoError);
  }
  return 0;
}

void Claim::Release() {
  static_cast<void>(posix::RemoveName(claim_));
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
  while (const int error = posix::LinkName(claim, name)) {
    if (error != EEXIST) return CodeForErrno(error, kIoError);
    if (SameFile(claim, name)) break;  // an earlier hand-back that was cut short
    unsigned long number = 0;
    if (ErrorCode code = NextNumber(basket, number)) return code;
    name = basket / DocumentName(number);
  }
  // The basket name reaches the disk before the claim goes, so that a power cut keeps one of them.
  if (const int error = posix::SyncFolder(basket)) return CodeForErrno(error, kIoError);
  return CodeForResult(posix::RemoveName(claim));
}

}  // namespace kartiva::localstore
