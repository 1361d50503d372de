#include "localstore/storing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
#include "posix_base/file_io.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

// The archive copy of a document before its publication: "<archive>/.inflight/<identity>".
struct Staged {
  std::string identity;
  fs::path path;
  int dataFd = -1;  // open on its content
};

Staged StagedIn(const fs::path& archive, const std::string& identity, int dataFd) {
  return {identity, InFlightFolder(archive) / identity, dataFd};
}

[[nodiscard]] ErrorCode StageCopy(int source, const std::string& originalName,
                                  const fs::path& archive, NewFile& copy, Staged& staged) {
  if (ErrorCode code = copy.Create(InFlightFolder(archive))) return code;
  if (ErrorCode code = CopyFileData(source, copy.fd())) return code;
  RecordOriginalName(copy.fd(), originalName);
  staged.dataFd = copy.fd();
  const int error = copy.Publish(staged.path);
  return error == 0 ? 0 : CodeForErrno(error, kIoError);
}

// Flushes the staged copy, adds its row and publishes it: the data, before a row can name it; the
// row's commit, before anything is let go; and the archive folder once the document bears its
// name, before the staged name and the claim go. Without a row the staged copy goes again and
// `row.file` is empty; once the document bears its name, a failure leaves the staged copy for
// recovery to finish.
[[nodiscard]] ErrorCode FileStaged(ArchiveIndex& index, const fs::path& archive,
                                   const Staged& staged, IndexRow& row) {
  CrashPoint("copy-written");
  ErrorCode code = CodeForResult(posix::SyncData(staged.dataFd));
  if (code == 0) CrashPoint("copy-flushed");
  if (code == 0) code = FreeArchiveName(index, archive, row.file);
  row.identity = staged.identity;
  if (code == 0) code = index.Add(row);
  if (code != 0) {
    static_cast<void>(posix::RemoveName(staged.path));
    row.file.clear();
    return code;
  }
  CrashPoint("index-row-added");
  if (ErrorCode published = PublishStaged(index, archive, staged.identity, row.file)) {
    // Where the document never got its name (a folder that may not be written, no room for the
    // name), its row goes again and the store fails cleanly; once it has its name, it stays.
    if (published != kNotConfirmed && !SameFile(staged.path, archive / row.file) &&
        index.RemoveIdentity(staged.identity) == 0) {
      static_cast<void>(posix::RemoveName(staged.path));
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
  if (const int error = posix::LinkName(claim.path(), staged.path)) {
    // Only across file systems is the document copied.
    code = error == EXDEV ? StageCopy(claim.fd(), row.originalName, archive, copy, staged)
                          : CodeForErrno(error, kIoError);
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
  row.originalName = OriginalName(source.get(), fs::path(filePath).filename().string());
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
  ErrorCode code = CodeForResult(error);
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
