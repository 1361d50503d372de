#pragma once

#include <filesystem>
#include <string>

#include "core/error.h"
#include "localstore/archive_index.h"
#include "localstore/new_file.h"

namespace kartiva::localstore {

class Store;

// A foreign file that a session added to its basket in order to store it: the copy, complete but
// without a name, and the basket name that it was handed out under and takes only should it not
// be stored. So no crash between the adding and the index commit ever leaves a basket copy that
// a second store of the same file would file again: a copy without a name vanishes with its
// process.
struct AddedCopy {
  NewFile copy;
  std::filesystem::path document;
};

// Files `filePath` into the archive folder `archive` under the next archive number, with its
// index row, and hands back the row as written. A basket document stored with deletion is
// claimed and moved (copied only across file systems); anything else is copied and left where it
// is. The archive copy is on disk and indexed before the basket copy goes: a crash at any point
// leaves the document in the basket or in the archive, and the next operation repairs the rest.
// With `added`, the document is that copy, staged straight into the archive.
[[nodiscard]] ErrorCode StoreIntoArchive(const Store& store, const std::filesystem::path& archive,
                                         const std::string& filePath, IndexRow& row,
                                         AddedCopy* added = nullptr);

}  // namespace kartiva::localstore
