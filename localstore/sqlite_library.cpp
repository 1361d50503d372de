// SQLite, loaded when the index is first used: the SQLite functions the store calls are defined
// here, each handing the call to the system's libsqlite3, which is opened the first time one of
// them runs. A run that never touches an index (a silent import) never loads SQLite, so the loader
// binds none of its some 1,500 symbols when the program starts.

#include <dlfcn.h>
#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

void* Library() {
  static void* const library = [] {
    void* opened = ::dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_LOCAL);
    if (opened == nullptr) {
      // The package depends on SQLite: without it the store cannot work at all.
      std::fprintf(stderr, "%s\n", ::dlerror());
      std::_Exit(1);
    }
    return opened;
  }();
  return library;
}

// SQLite's own function `name`, of the type of our definition of it.
template <typename Function>
Function* Real(Function* /*ours*/, const char* name) {
  void* function = ::dlsym(Library(), name);
  if (function == nullptr) {
    std::fprintf(stderr, "libsqlite3.so.0: no %s\n", name);
    std::_Exit(1);
  }
  return reinterpret_cast<Function*>(function);
}

}  // namespace

// Each definition looks SQLite's function up once and calls it with the same arguments.
#define KARTIVA_SQLITE_CALL(name, ...)            \
  static auto* const real = Real(&::name, #name); \
  return real(__VA_ARGS__)

extern "C" {

int sqlite3_open_v2(const char* file, sqlite3** db, int flags, const char* vfs) {
  KARTIVA_SQLITE_CALL(sqlite3_open_v2, file, db, flags, vfs);
}
int sqlite3_close(sqlite3* db) { KARTIVA_SQLITE_CALL(sqlite3_close, db); }
int sqlite3_exec(sqlite3* db, const char* sql, int (*callback)(void*, int, char**, char**),
                 void* argument, char** error) {
  KARTIVA_SQLITE_CALL(sqlite3_exec, db, sql, callback, argument, error);
}
int sqlite3_prepare_v2(sqlite3* db, const char* sql, int bytes, sqlite3_stmt** statement,
                       const char** tail) {
  KARTIVA_SQLITE_CALL(sqlite3_prepare_v2, db, sql, bytes, statement, tail);
}
int sqlite3_bind_text(sqlite3_stmt* statement, int position, const char* text, int bytes,
                      void (*destructor)(void*)) {
  KARTIVA_SQLITE_CALL(sqlite3_bind_text, statement, position, text, bytes, destructor);
}
int sqlite3_bind_int(sqlite3_stmt* statement, int position, int value) {
  KARTIVA_SQLITE_CALL(sqlite3_bind_int, statement, position, value);
}
int sqlite3_step(sqlite3_stmt* statement) { KARTIVA_SQLITE_CALL(sqlite3_step, statement); }
int sqlite3_column_int(sqlite3_stmt* statement, int column) {
  KARTIVA_SQLITE_CALL(sqlite3_column_int, statement, column);
}
const unsigned char* sqlite3_column_text(sqlite3_stmt* statement, int column) {
  KARTIVA_SQLITE_CALL(sqlite3_column_text, statement, column);
}
int sqlite3_finalize(sqlite3_stmt* statement) { KARTIVA_SQLITE_CALL(sqlite3_finalize, statement); }
int sqlite3_busy_timeout(sqlite3* db, int milliseconds) {
  KARTIVA_SQLITE_CALL(sqlite3_busy_timeout, db, milliseconds);
}
int sqlite3_errcode(sqlite3* db) { KARTIVA_SQLITE_CALL(sqlite3_errcode, db); }
int sqlite3_extended_errcode(sqlite3* db) { KARTIVA_SQLITE_CALL(sqlite3_extended_errcode, db); }
int sqlite3_system_errno(sqlite3* db) { KARTIVA_SQLITE_CALL(sqlite3_system_errno, db); }
int sqlite3_file_control(sqlite3* db, const char* name, int operation, void* argument) {
  KARTIVA_SQLITE_CALL(sqlite3_file_control, db, name, operation, argument);
}
void* sqlite3_wal_hook(sqlite3* db, int (*hook)(void*, sqlite3*, const char*, int),
                       void* argument) {
  KARTIVA_SQLITE_CALL(sqlite3_wal_hook, db, hook, argument);
}
int sqlite3_wal_checkpoint_v2(sqlite3* db, const char* name, int mode, int* log, int* done) {
  KARTIVA_SQLITE_CALL(sqlite3_wal_checkpoint_v2, db, name, mode, log, done);
}
sqlite3_vfs* sqlite3_vfs_find(const char* name) { KARTIVA_SQLITE_CALL(sqlite3_vfs_find, name); }
int sqlite3_vfs_register(sqlite3_vfs* vfs, int makeDefault) {
  KARTIVA_SQLITE_CALL(sqlite3_vfs_register, vfs, makeDefault);
}
// The store sets only the options that take an int and an int* for the answer.
int sqlite3_db_config(sqlite3* db, int option, ...) {
  va_list arguments;
  va_start(arguments, option);
  const int value = va_arg(arguments, int);
  void* const answer = va_arg(arguments, void*);
  va_end(arguments);
  KARTIVA_SQLITE_CALL(sqlite3_db_config, db, option, value, static_cast<int*>(answer));
}

// The store sets only options that take one int.
int sqlite3_config(int option, ...) {
  va_list arguments;
  va_start(arguments, option);
  const int value = va_arg(arguments, int);
  va_end(arguments);
  KARTIVA_SQLITE_CALL(sqlite3_config, option, value);
}

}  // extern "C"
