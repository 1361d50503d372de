#include "localstore/storing.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "localstore/claim.h"
#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/files.h"
#include "localstore/kernel_copy.h"
#include "localstore/new_file.h"
#include "localstore/numbering.h"
#include "localstore/original_name.h"
#include "localstore/recovery.h"
#include "localstore/store.h"
#include "posix_base/atomic_file.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

// The archive copy of a document before its row: "<archive>/.store-NNNNNNNN.001".
struct Staged {
  fs::path path{};
  std::string file{};  // the document name it is published under
  int dataFd = -1;     // open on its content
};

// Gives the archive copy a staged name under a new archive number; `place` makes the name (link
// or publish) and hands back its errno.
template <typename Place>
[[nodiscard]] ErrorCode Stage(const fs::path& archive, Staged& staged, Place place) {
  for (;;) {
    unsigned long number = 0;
    if (ErrorCode code = NextNumber(archive, number)) return code;
    staged.file = DocumentName(number);
    staged.path = archive / (std::string(kStagedPrefix) + staged.file);
    if (::access((archive / staged.file).c_str(), F_OK) == 0) continue;  // a foreign file
    const int error = place(staged.path);
    if (error == 0) return 0;
    if (error != EEXIST) return CodeForErrno(error, kIoError);
  }
}

[[nodiscard]] ErrorCode StageCopy(int source, const std::string& originalName,
                                  const fs::path& archive, NewFile& copy, Staged& staged) {
  if (ErrorCode code = copy.Create(archive)) return code;
  if (ErrorCode code = CopyFileData(source, copy.fd())) return code;
  RecordOriginalName(copy.fd(), originalName);
  staged.dataFd = copy.fd();
  return Stage(archive, staged, [&](const fs::path& path) { return copy.Publish(path); });
}

// Flushes the staged copy, adds its row, and publishes it under its document name. Without a row
// the staged copy goes again; with one, a failure after it leaves the rest to recovery.
[[nodiscard]] ErrorCode FileStaged(ArchiveIndex& index, const fs::path& archive, Staged& staged,
                                   IndexRow& row) {
  CrashPoint("copy-written");
  // The staged copy reaches the disk, content and name, before its row: from then on the row
  // always finds its document. Publishing it under its document name afterwards needs no flush
  // of its own, as recovery publishes a staged copy that has its row.
  ErrorCode flushed = ::fdatasync(staged.dataFd) == 0 ? 0 : CodeForErrno(errno, kIoError);
  if (flushed == 0) flushed = CodeForResult(posix::SyncFolder(archive));
  if (flushed != 0) {
    ::unlink(staged.path.c_str());
    return flushed;
  }
  CrashPoint("copy-flushed");
  row.file = staged.file;
  if (ErrorCode code = index.Add(row)) {
    ::unlink(staged.path.c_str());
    row.file.clear();
    return code;
  }
  CrashPoint("index-row-added");
  PublishStaged(archive, staged.file, false);
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
  Staged staged{.dataFd = claim.fd()};
  NewFile copy;
  int linkError = 0;
  ErrorCode code = Stage(archive, staged, [&](const fs::path& path) {
    linkError = ::link(claim.path().c_str(), path.c_str()) == 0 ? 0 : errno;
    return linkError;
  });
  // Only across file systems is the document copied.
  if (linkError == EXDEV) code = StageCopy(claim.fd(), row.originalName, archive, copy, staged);
  if (code == 0) code = FileStaged(index, archive, staged, row);
  if (row.file.empty()) {
    claim.PutBack();
    return code;
  }
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
  Staged staged;
  NewFile copy;
  if (ErrorCode code = StageCopy(source.get(), row.originalName, archive, copy, staged))
    return code;
  return FileStaged(index, archive, staged, row);
}

}  // namespace

ErrorCode StoreIntoArchive(const Store& store, const fs::path& archive, const std::string& filePath,
                           IndexRow& row) {
  ArchiveIndex index;
  if (ErrorCode code = index.Open(archive)) return code;
  RecoverArchive(index, archive);
  fs::path document;
  if (row.deleteAfterStoring && store.ClaimableDocument(filePath, document)) {
    RecoverBasket(store, document.parent_path());
    return StoreClaimed(index, archive, document, row);
  }
  return StoreCopy(index, archive, filePath, row);
}

}  // namespace kartiva::localstore
