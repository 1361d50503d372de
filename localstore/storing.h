#pragma once

#include <filesystem>
#include <string>

#include "core/error.h"
#include "localstore/archive_index.h"

namespace kartiva::localstore {

class Store;

// Files `filePath` into the archive folder `archive` under the next archive number, with its
// index row, and hands back the row as written. A basket document stored with deletion is
// claimed and moved (copied only across file systems); anything else is copied and left where it
// is. The archive copy is on disk and indexed before the basket copy goes: a crash at any point
// leaves the document in the basket or in the archive, and the next operation repairs the rest.
[[nodiscard]] ErrorCode StoreIntoArchive(const Store& store, const std::filesystem::path& archive,
                                         const std::string& filePath, IndexRow& row);

}  // namespace kartiva::localstore
