#pragma once

// The index of one archive: a row per stored document, in <archive>/index.sqlite.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
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
  std::string originalName{};  // the file name the document came from
  std::string origin{};        // "<basket>/<document>" of a document moved out of a basket
};

class ArchiveIndex {
 public:
  [[nodiscard]] static ErrorCode Create(const std::filesystem::path& archive);

  // Opens the existing index. A process that holds it locked delays a write by at most
  // kLockWait, after which the write gives kIndexError.
  [[nodiscard]] ErrorCode Open(const std::filesystem::path& archive);
  // Adds the row in one committed, synchronous transaction; many processes may add at once.
  [[nodiscard]] ErrorCode Add(const IndexRow& row);
  bool HasFile(const std::string& file);
  [[nodiscard]] ErrorCode Remove(const std::string& file);
  // The archive file of the document moved out of the basket as `origin`, if it was.
  bool FindOrigin(const std::string& origin, std::string& file);
  // The files that have a row.
  std::set<std::string> Files();

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  bool MatchesAny(const char* query, const std::string& value, std::string* first);
  std::unique_ptr<sqlite3, Close> db_;
};

}  // namespace kartiva::localstore
