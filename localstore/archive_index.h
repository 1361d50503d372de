#pragma once

// The index of one archive: a row per stored document, in <archive>/index.sqlite.

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/error.h"

namespace kartiva::localstore {

struct IndexRow {
  std::string file{};        // the document's file name in the archive folder
  std::string documentName;  // the name the document was stored under
  std::string indexString;
  std::int32_t mode = 0;
  bool useMask = false;
  bool deleteAfterStoring = false;
};

class ArchiveIndex {
 public:
  static ErrorCode Create(const std::filesystem::path& archive);
  // Adds the row in one committed, synchronous transaction; many processes may add at once.
  static ErrorCode Add(const std::filesystem::path& archive, const IndexRow& row);
};

}  // namespace kartiva::localstore
