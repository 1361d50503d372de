#include "localstore/archive_index.h"

#include <ctime>

#include "localstore/codes.h"
#include "localstore/files.h"

namespace kartiva::localstore {
namespace {

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

constexpr const char* kInsert =
    "INSERT INTO documents (file, document_name, index_string, mode, use_mask, delete_after,"
    " stored_at, original_name, origin) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)";

Statement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return Statement(raw);
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc));
}

// An index made before documents kept their original name and origin gets the two columns.
void AddLaterColumns(sqlite3* db) {
  for (const char* column : {"original_name", "origin"}) {
    const std::string sql =
        std::string("ALTER TABLE documents ADD COLUMN ") + column + " TEXT NOT NULL DEFAULT ''";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
}

}  // namespace

ErrorCode ArchiveIndex::Create(const std::filesystem::path& archive) {
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2((archive / "index.sqlite").c_str(), &raw,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, Close> db(raw);
  if (opened != SQLITE_OK) return kIndexError;
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
      " stored_at TEXT NOT NULL,"
      " original_name TEXT NOT NULL DEFAULT '',"
      " origin TEXT NOT NULL DEFAULT '')";
  return sqlite3_exec(db.get(), schema, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : kIndexError;
}

ErrorCode ArchiveIndex::Open(const std::filesystem::path& archive) {
  sqlite3* raw = nullptr;
  const int opened =
      sqlite3_open_v2((archive / "index.sqlite").c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db_.reset(raw);
  if (opened != SQLITE_OK) return kIndexError;
  sqlite3_busy_timeout(db_.get(), static_cast<int>(kLockWait.count() * 1000));
  // Each tool opens the index once and ends: a checkpoint and a new write-ahead log on every run
  // would cost more disk flushes than the store itself. The log is checkpointed as it grows.
  sqlite3_db_config(db_.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  int persist = 1;
  sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  return sqlite3_exec(db_.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) == SQLITE_OK
             ? 0
             : kIndexError;
}

ErrorCode ArchiveIndex::Add(const IndexRow& row) {
  Statement insert = Prepare(db_.get(), kInsert);
  if (!insert) {
    AddLaterColumns(db_.get());
    insert = Prepare(db_.get(), kInsert);
  }
  if (!insert) return kIndexError;
  sqlite3_stmt* raw = insert.get();
  const std::string storedAt = UtcNow();
  sqlite3_bind_text(raw, 1, row.file.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 2, row.documentName.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 3, row.indexString.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(raw, 4, row.mode);
  sqlite3_bind_int(raw, 5, row.useMask ? 1 : 0);
  sqlite3_bind_int(raw, 6, row.deleteAfterStoring ? 1 : 0);
  sqlite3_bind_text(raw, 7, storedAt.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 8, row.originalName.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 9, row.origin.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(raw) == SQLITE_DONE ? 0 : kIndexError;
}

bool ArchiveIndex::MatchesAny(const char* query, const std::string& value, std::string* first) {
  const Statement statement = Prepare(db_.get(), query);
  if (!statement) return false;
  sqlite3_bind_text(statement.get(), 1, value.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(statement.get()) != SQLITE_ROW) return false;
  if (first) {
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    *first = text ? reinterpret_cast<const char*>(text) : "";
  }
  return true;
}

ErrorCode ArchiveIndex::Remove(const std::string& file) {
  const Statement remove = Prepare(db_.get(), "DELETE FROM documents WHERE file = ?");
  if (!remove) return kIndexError;
  sqlite3_bind_text(remove.get(), 1, file.c_str(), -1, SQLITE_TRANSIENT);
  return sqlite3_step(remove.get()) == SQLITE_DONE ? 0 : kIndexError;
}

bool ArchiveIndex::HasFile(const std::string& file) {
  return MatchesAny("SELECT file FROM documents WHERE file = ?", file, nullptr);
}

bool ArchiveIndex::FindOrigin(const std::string& origin, std::string& file) {
  return !origin.empty() &&
         MatchesAny("SELECT file FROM documents WHERE origin = ? ORDER BY id DESC", origin, &file);
}

std::set<std::string> ArchiveIndex::Files() {
  std::set<std::string> files;
  const Statement statement = Prepare(db_.get(), "SELECT file FROM documents");
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    if (text) files.insert(reinterpret_cast<const char*>(text));
  }
  return files;
}

}  // namespace kartiva::localstore
