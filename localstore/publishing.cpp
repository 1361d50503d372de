#include "localstore/publishing.h"

#include <cerrno>

#include "linux_base/atomic_file.h"
#include "linux_base/file_io.h"
#include "localstore/codes.h"
#include "localstore/files.h"
#include "localstore/in_flight.h"
#include "localstore/numbering.h"

namespace kartiva::localstore {

namespace fs = std::filesystem;

namespace {

// The next archive number that no name in the archive folder bears.
ErrorCode NextUnusedName(const fs::path& archive, std::string& file) {
  for (;;) {
    unsigned long number = 0;
    if (ErrorCode code = NextNumber(archive, number)) return code;
    file = DocumentName(number);
    if (!NameTaken(PathIn(archive.native(), file))) return 0;
  }
}

}  // namespace

ErrorCode FreeArchiveName(ArchiveIndex& index, const fs::path& archive, std::string& file) {
  for (;;) {
    if (ErrorCode code = NextUnusedName(archive, file)) return code;
    const Found row = index.HasFile(file);
    if (row == Found::kNo) return 0;
    if (row == Found::kUnreadable) return kIndexError;
  }
}

ErrorCode AddUnderFreeName(ArchiveIndex& index, const fs::path& archive, IndexRow& row) {
  for (;;) {
    if (ErrorCode code = NextUnusedName(archive, row.file)) return code;
    bool taken = false;
    const ErrorCode code = index.AddUnlessFileTaken(row, taken);
    if (!taken) return code;
  }
}

ErrorCode PublishStaged(ArchiveIndex& index, const fs::path& archive, const std::string& identity,
                        std::string& file) {
  const fs::path staged = InFlightName(archive, identity);
  while (const int error = linux_os::LinkName(staged, archive / file)) {
    if (error != EEXIST) return CodeForLink(error, archive);
    if (SameFile(staged, archive / file)) break;  // an earlier publication that was cut short
    if (ErrorCode code = FreeArchiveName(index, archive, file)) return code;
    if (ErrorCode code = index.MoveIdentity(identity, file)) return code;
  }
  // The document is the archive's now: a flush that fails is no reason to take it back.
  if (ErrorCode code = Confirmed(linux_os::ConfirmFolder(archive))) return code;
  static_cast<void>(linux_os::RemoveName(staged));
  return 0;
}

}  // namespace kartiva::localstore
