#pragma once

// The index of one archive: a row per stored document, in <archive>/index.sqlite.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "localstore/files.h"

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
  std::string identity{};      // the identity of the operation that stored it; empty for rows
                               // made by a repair or before identities
};

// What a look-up found; kUnreadable when the index could not answer (locked, damaged), which is
// never taken for "not there".
enum class Found { kYes, kNo, kUnreadable };

// A row's file and identity, as the repair of a whole archive reads them.
struct FiledDocument {
  std::string file;
  std::string identity;
};

class ArchiveIndex {
 public:
  [[nodiscard]] static ErrorCode Create(const std::filesystem::path& archive);

  // Opens the existing index, bringing an older one up to date once. A process that holds it
  // locked delays a read or write by at most `wait`, after which it gives kIndexError.
  [[nodiscard]] ErrorCode Open(const std::filesystem::path& archive,
                               std::chrono::milliseconds wait = kLockWait);
  // Adds the row in one committed, synchronous transaction; many processes may add at once.
  [[nodiscard]] ErrorCode Add(const IndexRow& row);
  // As Add, but where a row has the file already, adds nothing and says `taken`.
  [[nodiscard]] ErrorCode AddUnlessFileTaken(const IndexRow& row, bool& taken);
  Found HasFile(const std::string& file);
  // The file of the row that the operation `identity` wrote.
  Found FindIdentity(const std::string& identity, std::string& file);
  // The identity of the operation that wrote the row of `file`.
  Found IdentityOf(const std::string& file, std::string& identity);
  // The files of the rows of documents moved out of a basket as `origin` (stores before
  // identities), newest first.
  Found FindOrigin(const std::string& origin, std::vector<std::string>& files);
  [[nodiscard]] ErrorCode MoveIdentity(const std::string& identity, const std::string& file);
  // Gives the row of `file`, made before identities, the identity `identity`.
  [[nodiscard]] ErrorCode GiveIdentity(const std::string& file, const std::string& identity);
  [[nodiscard]] ErrorCode Remove(const std::string& file);
  [[nodiscard]] ErrorCode RemoveIdentity(const std::string& identity);
  // Every row's file and identity; kUnreadable when they could not all be read.
  Found AllRows(std::vector<FiledDocument>& rows);
  // The files of the newest rows, newest first (as many as stores that may have been cut off at
  // once, and more): a power cut can have cost only a recent row its file.
  Found LatestFiles(std::vector<std::string>& files);

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  static int TruncateLongLog(void* self, sqlite3* db, const char* name, int pages);
  [[nodiscard]] ErrorCode Upgrade();
  [[nodiscard]] ErrorCode Change(const char* sql, const std::string& first,
                                 const std::string& second = {});
  Found ReadRows(const char* sql, std::vector<FiledDocument>& rows);
  Found ReadTexts(const char* sql, const std::string& value, std::vector<std::string>& texts);
  [[nodiscard]] ErrorCode Failure() const;
  std::filesystem::path archive_;
  std::chrono::milliseconds wait_ = kLockWait;
  std::unique_ptr<sqlite3, Close> db_;
};

}  // namespace kartiva::localstore
