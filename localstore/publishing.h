#pragma once

// Giving an archive copy its document name: the only way a document enters an archive.

#include <filesystem>
#include <string>

#include "core/error.h"
#include "localstore/archive_index.h"

namespace kartiva::localstore {

// Publishes the staged copy `identity` of `archive` under the name its row gives, `file`, or
// under the next free number should anything else bear that name, moving the row along; the name
// reaches the disk before the staged copy goes. 0 only once the document is there under `file`;
// kNotConfirmed when it is, but the disk did not confirm its name (the staged copy then stays).
[[nodiscard]] ErrorCode PublishStaged(ArchiveIndex& index, const std::filesystem::path& archive,
                                      const std::string& identity, std::string& file);

// The next archive number whose name nothing bears: no file, link, folder or pipe of that name,
// and no row.
[[nodiscard]] ErrorCode FreeArchiveName(ArchiveIndex& index, const std::filesystem::path& archive,
                                        std::string& file);
// Adds `row` under the next archive number that nothing bears (as FreeArchiveName), as its
// `file`: the index itself refuses a number that a row has already.
[[nodiscard]] ErrorCode AddUnderFreeName(ArchiveIndex& index, const std::filesystem::path& archive,
                                         IndexRow& row);

}  // namespace kartiva::localstore
