// The durable floor: the least a program can do to put a copy of a file durably into a folder, as
// a bare C program, for the benchmark to hold the tools against. Built twice:
//
//   mappix_floor <file> <folder> <name>
//     copies the file in the kernel into a new unnamed file of the folder, flushes its data, gives
//     it its name and flushes the folder, as a silent import must;
//   tresolo_floor <file> <archive> <name>
//     the same into an archive of a store, with the copy's row committed to the archive's index
//     (write-ahead log, synchronous=FULL) after its data is flushed and before it gets its name.
//
// A name of "+" stands for one of the process's own (its number), for runs repeated as they are.
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef WITH_INDEX
#include <sqlite3.h>
#endif

static int copy_all(int in, int out, off_t size) {
  while (size > 0) {
    const ssize_t done = copy_file_range(in, NULL, out, NULL, (size_t)size, 0);
    if (done <= 0) return -1;
    size -= done;
  }
  return 0;
}

#ifdef WITH_INDEX
// SQLite flushes the folder of a write-ahead log it may create on every open; the store opens a
// log that is there already without that leave, and its own folder flush covers the log's name.
static int open_without_folder_flush(sqlite3_vfs* vfs, const char* name, sqlite3_file* file,
                                     int flags, int* out) {
  sqlite3_vfs* base = vfs->pAppData;
  if ((flags & SQLITE_OPEN_WAL) != 0 && name && access(name, F_OK) == 0)
    flags &= ~SQLITE_OPEN_CREATE;
  return base->xOpen(base, name, file, flags, out);
}

static int add_row(const char* archive, const char* name, const char* original) {
  static sqlite3_vfs vfs;
  vfs = *sqlite3_vfs_find(NULL);
  vfs.pAppData = sqlite3_vfs_find(NULL);
  vfs.zName = "floor";
  vfs.xOpen = open_without_folder_flush;
  sqlite3_vfs_register(&vfs, 0);
  char path[4096];
  snprintf(path, sizeof path, "%s/index.sqlite", archive);
  sqlite3* db = NULL;
  sqlite3_stmt* insert = NULL;
  int persist = 1;
  int failed = sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, "floor") != SQLITE_OK ||
               sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, NULL) != SQLITE_OK ||
               sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist) != SQLITE_OK ||
               sqlite3_wal_autocheckpoint(db, 64) != SQLITE_OK ||
               sqlite3_exec(db, "PRAGMA synchronous=FULL", NULL, NULL, NULL) != SQLITE_OK ||
               sqlite3_prepare_v2(db,
                                  "INSERT INTO documents (file, document_name, index_string, mode,"
                                  " use_mask, delete_after, stored_at, original_name, origin,"
                                  " identity) VALUES (?1, ?1, '', 1, 1, 1, datetime(), ?2, '', ?1)",
                                  -1, &insert, NULL) != SQLITE_OK;
  if (!failed) {
    sqlite3_bind_text(insert, 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, original, -1, SQLITE_STATIC);
    failed = sqlite3_step(insert) != SQLITE_DONE;
  }
  if (failed) fprintf(stderr, "%s: %s\n", path, sqlite3_errmsg(db));
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return failed ? -1 : 0;
}
#endif

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s <file> <folder> <name>\n", argv[0]);
    return 2;
  }
  char own_name[32];
  if (strcmp(argv[3], "+") == 0) {
    snprintf(own_name, sizeof own_name, "%d", (int)getpid());
    argv[3] = own_name;
  }
  const int in = open(argv[1], O_RDONLY | O_CLOEXEC);
  const int folder = open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int out = open(argv[2], O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  struct stat source;
  char unnamed[64];
  snprintf(unnamed, sizeof unnamed, "/proc/self/fd/%d", out);
  if (in < 0 || folder < 0 || out < 0 || fstat(in, &source) != 0 ||
      copy_all(in, out, source.st_size) != 0 || fdatasync(out) != 0 ||
#ifdef WITH_INDEX
      add_row(argv[2], argv[3], argv[1]) != 0 ||
#endif
      linkat(AT_FDCWD, unnamed, folder, argv[3], AT_SYMLINK_FOLLOW) != 0 || fsync(folder) != 0) {
    perror(argv[3]);
    return 1;
  }
  close(out);
  close(folder);
  close(in);
  return 0;
}
