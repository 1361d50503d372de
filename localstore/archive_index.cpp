#include "localstore/archive_index.h"

#include <sqlite3.h>

#include <ctime>
#include <memory>

#include "localstore/codes.h"

namespace kartiva::localstore {
namespace {

struct CloseDatabase {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, CloseDatabase>;
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

constexpr int kBusyTimeoutMs = 60'000;

ErrorCode Open(const std::filesystem::path& archive, int flags, Database& db) {
  sqlite3* raw = nullptr;
  const int result = sqlite3_open_v2((archive / "index.sqlite").c_str(), &raw, flags, nullptr);
  db.reset(raw);
  if (result != SQLITE_OK) return kIndexError;
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  return sqlite3_exec(db.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) == SQLITE_OK
             ? 0
             : kIndexError;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc));
}

}  // namespace

ErrorCode ArchiveIndex::Create(const std::filesystem::path& archive) {
  Database db;
  if (ErrorCode code = Open(archive, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, db)) return code;
  const char* schema =
      "PRAGMA journal_mode=WAL;"
      "CREATE TABLE IF NOT EXISTS documents ("
      " id INTEGER PRIMARY KEY,"
      " file TEXT NOT NULL UNIQUE,"
      " document_name TEXT NOT NULL,"
      " index_string TEXT NOT NULL,"
      " mode INTEGER NOT NULL,"
      " use_mask INTEGER NOT NULL,"
      " delete_after INTEGER NOT NULL,"
      " stored_at TEXT NOT NULL)";
  return sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : kIndexError;
}

ErrorCode ArchiveIndex::Add(const std::filesystem::path& archive, const IndexRow& row) {
  Database db;
  if (ErrorCode code = Open(archive, SQLITE_OPEN_READWRITE, db)) return code;
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db.get(),
                     "INSERT INTO documents (file, document_name, index_string, mode, use_mask,"
                     " delete_after, stored_at) VALUES (?, ?, ?, ?, ?, ?, ?)",
                     -1, &raw, nullptr);
  Statement insert(raw);
  if (!insert) return kIndexError;
  const std::string storedAt = UtcNow();
  sqlite3_bind_text(raw, 1, row.file.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, row.documentName.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 3, row.indexString.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(raw, 4, row.mode);
  sqlite3_bind_int(raw, 5, row.useMask ? 1 : 0);
  sqlite3_bind_int(raw, 6, row.deleteAfterStoring ? 1 : 0);
  sqlite3_bind_text(raw, 7, storedAt.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(raw) == SQLITE_DONE ? 0 : kIndexError;
}

}  // namespace kartiva::localstore
