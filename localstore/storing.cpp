#include "localstore/storing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "linux_base/file_io.h"
#include "localstore/claim.h"
#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/files.h"
#include "localstore/folder_stamp.h"
#include "localstore/in_flight.h"
#include "localstore/kernel_copy.h"
#include "localstore/new_file.h"
#include "localstore/original_name.h"
#include "localstore/publishing.h"
#include "localstore/recovery.h"
#include "localstore/store.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

// The archive copy of a document before its publication: "<archive>/.inflight/<identity>".
struct Staged {
  std::string identity;
  fs::path path;
  int dataFd = -1;  // open on its content
  // Open and locked under the staged name itself, where that is another lock than the one its
  // storer holds already (HoldStagedName). Kept until the store ends: where a lock is its
  // process's own (NFS makes flock an fcntl lock), closing any descriptor of the file would let
  // go of the claim's lock too.
  UniqueFd held{};
};

Staged StagedIn(const fs::path& archive, const std::string& identity, int dataFd) {
  return {identity, InFlightName(archive, identity), dataFd};
}

[[nodiscard]] ErrorCode StageCopy(int source, const std::string& originalName,
                                  const fs::path& archive, NewFile& copy, Staged& staged) {
  if (ErrorCode code = copy.Create(InFlightFolder(archive))) return code;
  if (ErrorCode code = CopyFileData(source, copy.fd())) return code;
  RecordOriginalName(copy.fd(), originalName);
  staged.dataFd = copy.fd();
  const int error = copy.Publish(staged.path);
  return error == 0 ? 0 : CodeForLink(error, archive);
}

// Locks the staged copy under its own name too. On FUSE each name of a file has a lock of its
// own, so the lock that its storer holds through the claim or the new copy's first name does not
// keep another process's recovery from the staged name; where the lock is the file's (a local
// file system), the storer holds it already, and this second one is refused.
UniqueFd HoldStagedName(const Staged& staged) {
  UniqueFd fd;
  if (!LockByName(staged.path, fd)) fd.reset();
  return fd;
}

// Publishes the staged copy under its row's name, `file`. Before HoldStagedName locked it, another
// process's recovery may have taken the staged copy for a dead store's (on FUSE), and removed it
// where it found no row yet; once the row is there, a recovery publishes it instead, perhaps
// under another number with the row moved along. So a staged name that is gone is the document
// published already, under the name its row now gives, or is given to the open copy again and
// published.
[[nodiscard]] ErrorCode PublishFromStage(ArchiveIndex& index, const fs::path& archive,
                                         Staged& staged, std::string& file) {
  const ErrorCode code = PublishStaged(index, archive, staged.identity, file);
  if (code == 0 || NameTaken(staged.path)) return code;
  std::string published;
  if (index.FindIdentity(staged.identity, published) == Found::kYes &&
      linux_os::NamesOpenFile(staged.dataFd, archive / published)) {
    file = published;
    return 0;
  }
  if (const int error = linux_os::LinkOpenFile(staged.dataFd, staged.path))
    return CodeForLink(error, archive);
  if (staged.held.get() < 0) staged.held = HoldStagedName(staged);
  return PublishStaged(index, archive, staged.identity, file);
}

// Flushes the staged copy, adds its row and publishes it: the data, before a row can name it; the
// row's commit, before anything is let go; and the archive folder once the document bears its
// name, before the staged name and the claim go. Without a row the staged copy goes again and
// `row.file` is empty; once the document bears its name, a failure leaves the staged copy for
// recovery to finish.
[[nodiscard]] ErrorCode FileStaged(ArchiveIndex& index, const fs::path& archive, Staged& staged,
                                   IndexRow& row) {
  staged.held = HoldStagedName(staged);
  CrashPoint("copy-written");
  ErrorCode code = CodeForResult(linux_os::SyncData(staged.dataFd));
  if (code == 0) CrashPoint("copy-flushed");
  row.identity = staged.identity;
  if (code == 0) code = AddUnderFreeName(index, archive, row);
  if (code != 0) {
    static_cast<void>(linux_os::RemoveName(staged.path));
    row.file.clear();
    return code;
  }
  CrashPoint("index-row-added");
  if (ErrorCode published = PublishFromStage(index, archive, staged, row.file)) {
    // Where the document never got its name (a folder that may not be written, no room for the
    // name), its row goes again and the store fails cleanly; once it has its name, it stays.
    if (published != kNotConfirmed && !linux_os::NamesOpenFile(staged.dataFd, archive / row.file) &&
        index.RemoveIdentity(staged.identity) == 0) {
      static_cast<void>(linux_os::RemoveName(staged.path));
      row.file.clear();
    }
    return published;
  }
  CrashPoint("archive-copy-published");
  return 0;
}

// A basket document stored with deletion: claimed, then moved, and the claim deleted at the end.
[[nodiscard]] ErrorCode StoreClaimed(ArchiveIndex& index, const fs::path& archive,
                                     const fs::path& document, IndexRow& row) {
  Claim claim;
  if (ErrorCode code = claim.Take(document)) return code;
  CrashPoint("document-claimed");
  const std::string name = document.filename().string();
  row.originalName = OriginalName(claim.fd(), name);
  row.origin = document.parent_path().filename().string() + "/" + name;
  Staged staged = StagedIn(archive, claim.identity(), claim.fd());
  NewFile copy;
  ErrorCode code = 0;
  if (const int error = linux_os::LinkName(claim.path(), staged.path)) {
    // Only across file systems is the document copied.
    code = error == EXDEV ? StageCopy(claim.fd(), row.originalName, archive, copy, staged)
                          : CodeForLink(error, archive);
  }
  if (code == 0) code = FileStaged(index, archive, staged, row);
  if (row.file.empty()) {
    claim.PutBack();
    return code;
  }
  // With its row written, the document is the archive's: should its publication have failed or
  // not been confirmed, recovery finishes it, and the claim stays for that.
  if (code != 0) return code;
  claim.Release();
  CrashPoint("basket-copy-deleted");
  return 0;
}

// Anything else is copied, and the file stays where it is.
[[nodiscard]] ErrorCode StoreCopy(ArchiveIndex& index, const fs::path& archive,
                                  const std::string& filePath, IndexRow& row) {
  UniqueFd source;
  if (ErrorCode code = OpenRegularFile(filePath, source)) return code;
  row.originalName = OriginalName(source.get(), std::string(LastName(filePath)));
  std::string identity;
  if (ErrorCode code = NewIdentity(identity)) return code;
  Staged staged = StagedIn(archive, identity, -1);
  NewFile copy;
  if (ErrorCode code = StageCopy(source.get(), row.originalName, archive, copy, staged))
    return code;
  return FileStaged(index, archive, staged, row);
}

// A copy added to be stored is linked into the archive's in-flight folder (copied only across file
// systems) and filed from there: it never had a basket name.
[[nodiscard]] ErrorCode StoreAdded(ArchiveIndex& index, const fs::path& archive, AddedCopy& added,
                                   IndexRow& row) {
  row.originalName = OriginalName(added.copy.fd(), added.document.filename().string());
  std::string identity;
  if (ErrorCode code = NewIdentity(identity)) return code;
  Staged staged = StagedIn(archive, identity, added.copy.fd());
  NewFile copy;
  const int error = added.copy.Publish(staged.path);
  ErrorCode code = error == 0 ? 0 : CodeForLink(error, archive);
  if (error == EXDEV) code = StageCopy(added.copy.fd(), row.originalName, archive, copy, staged);
  if (code != 0) return code;
  return FileStaged(index, archive, staged, row);
}

}  // namespace

ErrorCode StoreIntoArchive(const Store& store, const fs::path& archive, const std::string& filePath,
                           IndexRow& row, AddedCopy* added) {
  ArchiveIndex index;
  if (ErrorCode code = index.Open(archive)) return code;
  if (ErrorCode code = MakeInFlightFolder(archive)) return code;
  Recovery recovery(store);
  recovery.ShareIndex(archive, index);
  recovery.RecoverArchive(archive);
  fs::path document;
  ErrorCode code = 0;
  if (added != nullptr) {
    code = StoreAdded(index, archive, *added, row);
  } else if (row.deleteAfterStoring && store.ClaimableDocument(filePath, document)) {
    const fs::path basket = document.parent_path();
    recovery.RecoverBasket(basket);
    code = StoreClaimed(index, archive, document, row);
    if (recovery.repairs().leftForLater == 0) RecordFolderStamp(basket);
  } else {
    code = StoreCopy(index, archive, filePath, row);
  }
  if (recovery.repairs().leftForLater == 0) RecordFolderStamp(archive);
  return code;
}

}  // namespace kartiva::localstore
