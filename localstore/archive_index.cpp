#include "localstore/archive_index.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "linux_base/crash_state.h"
#include "localstore/codes.h"
#include "localstore/files.h"
#include "localstore/private_modes.h"

namespace kartiva::localstore {
namespace {

struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// The layout this code writes; an index with a lower user_version is brought up to it once.
constexpr const char* kIndexFile = "index.sqlite";
constexpr int kLayout = 2;

// The pages of the write-ahead log after which it is copied into the index and emptied.
constexpr int kLongestLog = 64;

constexpr const char* kSchema =
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
    " origin TEXT NOT NULL DEFAULT '',"
    " identity TEXT NOT NULL DEFAULT '');"
    "CREATE INDEX IF NOT EXISTS documents_identity ON documents (identity);"
    "PRAGMA user_version=2;";

constexpr const char* kInsert =
    "INSERT INTO documents (file, document_name, index_string, mode, use_mask, delete_after,"
    " stored_at, original_name, origin, identity) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

Statement Prepare(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  return Statement(raw);
}

void Bind(sqlite3_stmt* statement, int position, const std::string& text) {
  sqlite3_bind_text(statement, position, text.c_str(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

std::string Text(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text ? reinterpret_cast<const char*>(text) : "";
}

// The time now in UTC, as "2026-12-08T19:27:50Z". Worked out from the clock alone: the C
// library's conversions read the system's time zone first, which a time in UTC never needs.
std::string UtcNow() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  std::string text = "0000-00-00T00:00:00Z";
  const auto put = [&text](std::size_t first, std::size_t digits, long value) {
    for (std::size_t at = first + digits; at-- > first; value /= 10)
      text[at] = static_cast<char>('0' + value % 10);
  };
  put(0, 4, static_cast<int>(date.year()));
  put(5, 2, static_cast<unsigned>(date.month()));
  put(8, 2, static_cast<unsigned>(date.day()));
  put(11, 2, time.hours().count());
  put(14, 2, time.minutes().count());
  put(17, 2, time.seconds().count());
  return text;
}

// SQLite flushes the folder of a write-ahead log that it opens with leave to create it, once per
// connection, which for a tool that opens the index once is a flush on every run. The store
// flushes the archive folder itself after each publication, before it lets anything go, and that
// covers the log's name as well: so a log that is there already is opened without that leave.
int OpenWithoutFolderFlush(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                           int* outFlags) {
  auto* base = static_cast<sqlite3_vfs*>(vfs->pAppData);
  if ((flags & SQLITE_OPEN_WAL) != 0 && name && ::access(name, F_OK) == 0) {
    const int opened = base->xOpen(base, name, file, flags & ~SQLITE_OPEN_CREATE, outFlags);
    if (opened == SQLITE_OK) return opened;  // else it went meanwhile: it is made anew
  }
  return base->xOpen(base, name, file, flags, outFlags);
}

// Opens a file of the index. Where the tests take fcntl locks away (crash_state.h), every lock
// of it is refused, as on a file system without them (an NFS mount without its lock service).
int OpenIndexFile(sqlite3_vfs* vfs, const char* name, sqlite3_file* file, int flags,
                  int* outFlags) {
  const int opened = OpenWithoutFolderFlush(vfs, name, file, flags, outFlags);
  if (opened == SQLITE_OK && linux_os::crash_state::Refusal("fcntl") != 0) {
    static sqlite3_io_methods refusing = [&] {
      sqlite3_io_methods methods = *file->pMethods;
      methods.xLock = [](sqlite3_file*, int) { return SQLITE_IOERR_LOCK; };
      return methods;
    }();
    file->pMethods = &refusing;
  }
  return opened;
}

// Whether SQLite stopped because the file system gives no locks: without them two programs at
// once could damage the index, so SQLite goes no further.
bool LocksRefused(sqlite3* db) {
  switch (sqlite3_extended_errcode(db)) {
    case SQLITE_IOERR_LOCK:
    case SQLITE_IOERR_RDLOCK:
    case SQLITE_IOERR_UNLOCK:
    case SQLITE_IOERR_CHECKRESERVEDLOCK:
    case SQLITE_IOERR_SHMLOCK:
      return true;
    default:
      return sqlite3_system_errno(db) == ENOLCK;
  }
}

// The platform's file layer with OpenIndexFile; registered once per process.
const char* IndexFiles() {
  static const char* const name = [] {
    // Counting every allocation for sqlite3_memory_used() takes a lock and bookkeeping on each:
    // a tenth of a silent store's instructions, for figures the store never asks for. It can be
    // switched off only before SQLite is first used; a process that used it already keeps it.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    static sqlite3_vfs vfs = *sqlite3_vfs_find(nullptr);
    vfs.pAppData = sqlite3_vfs_find(nullptr);
    vfs.zName = "kartiva-index";
    vfs.xOpen = OpenIndexFile;
    vfs.pNext = nullptr;
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? vfs.zName : nullptr;
  }();
  return name;
}

int UserVersion(sqlite3* db) {
  const Statement statement = Prepare(db, "PRAGMA user_version");
  return statement && sqlite3_step(statement.get()) == SQLITE_ROW
             ? sqlite3_column_int(statement.get(), 0)
             : -1;
}

}  // namespace

ErrorCode ArchiveIndex::Create(const std::filesystem::path& archive) {
  ArchiveIndex index;
  index.archive_ = archive;
  // SQLite makes a new database as the umask allows, and its log and shared memory as the
  // database is: made empty and private first, all three are.
  const UniqueFd file(::open((archive / kIndexFile).c_str(),
                             O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kPrivateFile));
  sqlite3* raw = nullptr;
  const int opened = sqlite3_open_v2((archive / kIndexFile).c_str(), &raw,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  index.db_.reset(raw);
  if (opened != SQLITE_OK) return index.Failure();
  return sqlite3_exec(raw, kSchema, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : index.Failure();
}

// The first process to open the index after all others closed it reads the whole write-ahead log
// to find its way in it, and takes every row in it for not yet copied into the index: a log that
// only grew would cost every run more. So once it holds a few dozen pages, the process that made
// it so copies them over and empties it, where nobody else is reading it just then (never
// waiting for them: the next one tries again).
int ArchiveIndex::TruncateLongLog(void* self, sqlite3* db, const char* name, int pages) {
  if (pages >= kLongestLog) {
    sqlite3_busy_timeout(db, 0);
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, static_cast<int>(static_cast<ArchiveIndex*>(self)->wait_.count()));
  }
  return SQLITE_OK;
}

ErrorCode ArchiveIndex::Failure() const {
  if (!db_) return kIndexError;
  if (LocksRefused(db_.get())) {
    SayOnce(kIndexError, "Kartiva: the file system of " + archive_.string() +
                             " gives no file locks (fcntl), which the archive's index needs: mount"
                             " it with locks (on NFS, with its lock service, not nolock) or keep"
                             " the store on another file system (KARTIVA_HOME).");
    return kIndexError;
  }
  switch (sqlite3_errcode(db_.get()) & 0xFF) {
    case SQLITE_FULL:
      return kStoreFull;
    case SQLITE_READONLY:
      return kStoreReadOnly;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN: {
      const ErrorCode code = CodeForErrno(sqlite3_system_errno(db_.get()), kIndexError);
      // SQLite tries other ways after a refusal, and its last errno may be theirs: a folder
      // that may not be written is why its log could not be made.
      if (code != kIndexError || ::access(archive_.c_str(), W_OK) == 0) return code;
      return CodeForErrno(errno, kIndexError);
    }
    default:
      return kIndexError;
  }
}

ErrorCode ArchiveIndex::Open(const std::filesystem::path& archive, std::chrono::milliseconds wait) {
  archive_ = archive;
  // An index made before the store's files were private becomes so.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    KeepPrivate(PathIn(archive.native(), kIndexFile) + suffix);
  }
  sqlite3* raw = nullptr;
  // Each connection is used by the thread that opened it alone: it needs no lock of its own.
  const int opened = sqlite3_open_v2(PathIn(archive.native(), kIndexFile).c_str(), &raw,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, IndexFiles());
  db_.reset(raw);
  if (opened != SQLITE_OK) return Failure();
  wait_ = wait;
  sqlite3_busy_timeout(raw, static_cast<int>(wait_.count()));
  // Each tool opens the index once and ends: a checkpoint and a new write-ahead log on every run
  // would cost more disk flushes than the store itself. The log is checkpointed now and then
  // instead (TruncateLongLog).
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  int persist = 1;
  sqlite3_file_control(raw, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
  sqlite3_wal_hook(raw, TruncateLongLog, this);
  // A committed row is on disk before the store goes on: the archive copy and its claim are let
  // go only once their row can no longer be lost.
  if (sqlite3_exec(raw, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK)
    return Failure();
  const int layout = UserVersion(raw);
  if (layout < 0) return Failure();
  return layout < kLayout ? Upgrade() : 0;
}

// An index made before documents kept their original name, origin and identity gets the columns
// and the look-up by identity, once, whichever process comes first.
ErrorCode ArchiveIndex::Upgrade() {
  sqlite3* db = db_.get();
  if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return Failure();
  if (UserVersion(db) < kLayout) {
    // A column that is there already fails alone, without ending the transaction.
    for (const char* column : {"original_name", "origin", "identity"}) {
      const std::string sql =
          std::string("ALTER TABLE documents ADD COLUMN ") + column + " TEXT NOT NULL DEFAULT ''";
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    if (sqlite3_exec(db,
                     "CREATE INDEX IF NOT EXISTS documents_identity ON documents (identity);"
                     "PRAGMA user_version=2",
                     nullptr, nullptr, nullptr) != SQLITE_OK) {
      const ErrorCode code = Failure();
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return code;
    }
  }
  return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : Failure();
}

ErrorCode ArchiveIndex::Add(const IndexRow& row) {
  bool taken = false;
  return AddUnlessFileTaken(row, taken);
}

ErrorCode ArchiveIndex::AddUnlessFileTaken(const IndexRow& row, bool& taken) {
  taken = false;
  const Statement insert = Prepare(db_.get(), kInsert);
  if (!insert) return Failure();
  sqlite3_stmt* raw = insert.get();
  Bind(raw, 1, row.file);
  Bind(raw, 2, row.documentName);
  Bind(raw, 3, row.indexString);
  sqlite3_bind_int(raw, 4, row.mode);
  sqlite3_bind_int(raw, 5, row.useMask ? 1 : 0);
  sqlite3_bind_int(raw, 6, row.deleteAfterStoring ? 1 : 0);
  Bind(raw, 7, UtcNow());
  Bind(raw, 8, row.originalName);
  Bind(raw, 9, row.origin);
  Bind(raw, 10, row.identity);
  if (sqlite3_step(raw) != SQLITE_DONE) {
    taken = sqlite3_extended_errcode(db_.get()) == SQLITE_CONSTRAINT_UNIQUE;
    return Failure();
  }
  linux_os::crash_state::IndexCommitted();
  return 0;
}

ErrorCode ArchiveIndex::Change(const char* sql, const std::string& first,
                               const std::string& second) {
  const Statement statement = Prepare(db_.get(), sql);
  if (!statement) return Failure();
  Bind(statement.get(), 1, first);
  if (!second.empty()) Bind(statement.get(), 2, second);
  return sqlite3_step(statement.get()) == SQLITE_DONE ? 0 : Failure();
}

ErrorCode ArchiveIndex::MoveIdentity(const std::string& identity, const std::string& file) {
  return Change("UPDATE documents SET file = ?2 WHERE identity = ?1", identity, file);
}

ErrorCode ArchiveIndex::GiveIdentity(const std::string& file, const std::string& identity) {
  return Change("UPDATE documents SET identity = ?2 WHERE file = ?1", file, identity);
}

ErrorCode ArchiveIndex::Remove(const std::string& file) {
  return Change("DELETE FROM documents WHERE file = ?", file);
}

ErrorCode ArchiveIndex::RemoveIdentity(const std::string& identity) {
  return Change("DELETE FROM documents WHERE identity = ?", identity);
}

Found ArchiveIndex::ReadTexts(const char* sql, const std::string& value,
                              std::vector<std::string>& texts) {
  texts.clear();
  const Statement statement = Prepare(db_.get(), sql);
  if (!statement) return Found::kUnreadable;
  Bind(statement.get(), 1, value);
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement.get())) == SQLITE_ROW)
    texts.push_back(Text(statement.get(), 0));
  if (step != SQLITE_DONE) return Found::kUnreadable;
  return texts.empty() ? Found::kNo : Found::kYes;
}

Found ArchiveIndex::HasFile(const std::string& file) {
  std::vector<std::string> files;
  return ReadTexts("SELECT file FROM documents WHERE file = ?", file, files);
}

Found ArchiveIndex::FindIdentity(const std::string& identity, std::string& file) {
  std::vector<std::string> files;
  const Found found = ReadTexts("SELECT file FROM documents WHERE identity = ? AND identity <> ''",
                                identity, files);
  if (found == Found::kYes) file = files.front();
  return found;
}

Found ArchiveIndex::IdentityOf(const std::string& file, std::string& identity) {
  std::vector<std::string> identities;
  const Found found = ReadTexts("SELECT identity FROM documents WHERE file = ?", file, identities);
  if (found == Found::kYes) identity = identities.front();
  return found;
}

Found ArchiveIndex::FindOrigin(const std::string& origin, std::vector<std::string>& files) {
  return ReadTexts("SELECT file FROM documents WHERE origin = ? ORDER BY id DESC", origin, files);
}

Found ArchiveIndex::AllRows(std::vector<FiledDocument>& rows) {
  return ReadRows("SELECT file, identity FROM documents", rows);
}

// Every silent store makes this look, so it reads what the look needs first and no more: the
// files alone (a row's identity only matters where its file is gone), and it stops stepping where
// a LIMIT would (whose compiling costs more than the steps it saves).
Found ArchiveIndex::LatestFiles(std::vector<std::string>& files) {
  constexpr std::size_t kLatest = 16;
  files.clear();
  files.reserve(kLatest);
  const Statement statement = Prepare(db_.get(), "SELECT file FROM documents ORDER BY id DESC");
  if (!statement) return Found::kUnreadable;
  int step = SQLITE_ROW;
  while (files.size() < kLatest && (step = sqlite3_step(statement.get())) == SQLITE_ROW)
    files.push_back(Text(statement.get(), 0));
  return step == SQLITE_ROW || step == SQLITE_DONE ? Found::kYes : Found::kUnreadable;
}

Found ArchiveIndex::ReadRows(const char* sql, std::vector<FiledDocument>& rows) {
  rows.clear();
  const Statement statement = Prepare(db_.get(), sql);
  if (!statement) return Found::kUnreadable;
  int step = SQLITE_ROW;
  while ((step = sqlite3_step(statement.get())) == SQLITE_ROW)
    rows.push_back({Text(statement.get(), 0), Text(statement.get(), 1)});
  return step == SQLITE_DONE ? Found::kYes : Found::kUnreadable;
}

}  // namespace kartiva::localstore
