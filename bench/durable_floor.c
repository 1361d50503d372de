// The durable floor: the least a program can do to put a copy of a file durably into a folder, as
// a bare C program, for the benchmark to hold the tools against. Built four times:
//
//   mappix_floor <file> <folder> <name>
//     copies the file in the kernel into a new unnamed file of the folder, flushes its data, gives
//     it its name and flushes the folder, as a silent import must;
//   tresolo_floor <file> <archive> <name>
//     the same into an archive of a store, with the copy's row committed to the archive's index
//     (write-ahead log, synchronous=FULL) after its data is flushed and before it gets its name;
//   mappix_store_floor <file> <basket> <name>
//     mappix_floor's work wrapped in the other system calls a silent import makes in the local
//     store, in its order, and nothing else: the batch's meeting place in $XDG_RUNTIME_DIR, the
//     client check's lock, the stand-in's journal lines and settings, the basket's in-flight check
//     and stamp, its number, the original name's attribute and the look among the parent's
//     children for instances on their way. <basket> is a basket of a store of its own
//     (<store>/baskets/<name>), which no tool uses, so that its stamp and journal stay its own;
//   tresolo_store_floor <file> <archive> <name>
//     tresolo_floor's work done as a silent Tresolo of a file from outside the basket does it,
//     with each of its system calls in the store, in its order: the settings, the archives' list,
//     the copy brought into the basket <store>/baskets/floor under the basket's next number, the
//     in-flight checks of both folders, the look whether the newest rows still have their files,
//     the copy staged under a name of its own in the archive's in-flight folder and locked by it,
//     the archive's number, and the staged name removed once the document has its own. <archive>
//     is an archive of the floors' store (<store>/archives/<name>). What a silent Tresolo does
//     beyond it is its own: its start, and its work in user space (among it, what it asks the
//     index beyond the row).
//
// A name of "+" stands for one of the process's own (its number and the clock), for runs repeated
// as they are: a long benchmark starts more processes than there are numbers, and a number that
// came round again would meet its earlier run's row.
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#ifdef WITH_STORE_CALLS
#include <dirent.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/xattr.h>
#endif

#ifdef WITH_INDEX
#include <sqlite3.h>
#endif

// An import's copy carries an attribute (its original name), which a flush of its data alone
// would not keep; the archive's copy has its name in the index.
#if defined(WITH_STORE_CALLS) && !defined(WITH_INDEX)
#define flush_copy fsync
#else
#define flush_copy fdatasync
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

// A passive checkpoint leaves the log's pages valid, and the next process to open the index reads
// them all again: the store empties the log once it holds 64 pages, and so does the floor.
static int truncate_long_log(void* unused, sqlite3* db, const char* name, int pages) {
  (void)unused;
  if (pages >= 64) sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, NULL, NULL);
  return SQLITE_OK;
}

// The archive's index, open as the store opens it; none where it could not be opened.
static sqlite3* open_index(const char* archive) {
  static sqlite3_vfs vfs;
  vfs = *sqlite3_vfs_find(NULL);
  vfs.pAppData = sqlite3_vfs_find(NULL);
  vfs.zName = "floor";
  vfs.xOpen = open_without_folder_flush;
  sqlite3_vfs_register(&vfs, 0);
  char path[4096];
  snprintf(path, sizeof path, "%s/index.sqlite", archive);
  sqlite3* db = NULL;
  int persist = 1;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, "floor") != SQLITE_OK ||
      (sqlite3_wal_hook(db, truncate_long_log, NULL),
       sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, NULL)) != SQLITE_OK ||
      sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA synchronous=FULL", NULL, NULL, NULL) != SQLITE_OK) {
    fprintf(stderr, "%s: %s\n", path, sqlite3_errmsg(db));
    sqlite3_close(db);
    return NULL;
  }
  return db;
}

// Commits the row of the copy `name` of `original`.
static int add_row(sqlite3* db, const char* name, const char* original) {
  sqlite3_stmt* insert = NULL;
  int failed = sqlite3_prepare_v2(db,
                                  "INSERT INTO documents (file, document_name, index_string, mode,"
                                  " use_mask, delete_after, stored_at, original_name, origin,"
                                  " identity) VALUES (?1, ?1, '', 1, 1, 1, datetime(), ?2, '', ?1)",
                                  -1, &insert, NULL) != SQLITE_OK;
  if (!failed) {
    sqlite3_bind_text(insert, 1, name, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 2, original, -1, SQLITE_STATIC);
    failed = sqlite3_step(insert) != SQLITE_DONE;
  }
  if (failed) fprintf(stderr, "%s: %s\n", name, sqlite3_errmsg(db));
  sqlite3_finalize(insert);
  return failed ? -1 : 0;
}

#ifndef WITH_STORE_CALLS
// The row committed in an index opened for it alone.
static int add_row_alone(const char* archive, const char* name, const char* original) {
  sqlite3* db = open_index(archive);
  const int added = db ? add_row(db, name, original) : -1;
  sqlite3_close(db);
  return added;
}
#endif
#endif

#ifdef WITH_STORE_CALLS
// What the store's bookkeeping keeps open between the calls before the copy and those after it.
struct store_calls {
  int meeting_folder;
  int meeting;
  int journal;
  struct pollfd batch;
  char store[4096];
  char settings[4200];
  char in_flight[4200];
};

// A call the floor makes for its cost alone: what it returns does not matter.
static void made(ssize_t result) { (void)result; }

static void read_to_end(int fd) {
  char buffer[8192];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
}

// A small file read whole, as the store reads its settings and stamps.
static void read_file(const char* path) {
  struct stat facts;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  fstat(fd, &facts);
  read_to_end(fd);
  close(fd);
}

static void list_folder(int fd) {
  char buffer[8192];
  while (getdents64(fd, buffer, sizeof buffer) > 0) {
  }
}

static void journal_line(const struct store_calls* calls) {
  if (write(calls->journal, "floor -> 0\n", 11) < 0) perror("journal");
}

// The store asks whether it is set up before most calls.
static void ask_settings(const struct store_calls* calls) { access(calls->settings, F_OK); }

// The batch's meeting place and the client check, with its journal line.
static void meet_and_check(struct store_calls* calls, const char* folder) {
  struct stat facts;
  snprintf(calls->store, sizeof calls->store, "%s/../..", folder);
  snprintf(calls->settings, sizeof calls->settings, "%s/kartiva.ini", calls->store);
  snprintf(calls->in_flight, sizeof calls->in_flight, "%s/.inflight", folder);
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  calls->meeting_folder = open(runtime ? runtime : "/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  fstat(calls->meeting_folder, &facts);
  geteuid();
  fstatat(calls->meeting_folder, "kartiva-floor.socket", &facts, AT_SYMLINK_NOFOLLOW);
  const int lock = openat(calls->meeting_folder, "kartiva-floor.socket.lock",
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  flock(lock, LOCK_EX);
  calls->meeting = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  struct sockaddr_un address = {.sun_family = AF_UNIX};
  snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/kartiva-floor.socket",
           calls->meeting_folder);
  bind(calls->meeting, (const struct sockaddr*)&address, sizeof address);
  listen(calls->meeting, 4096);
  fstatat(calls->meeting_folder, "kartiva-floor.socket", &facts, AT_SYMLINK_NOFOLLOW);
  close(lock);
  calls->batch = (struct pollfd){.fd = calls->meeting, .events = POLLIN};

  const int check = openat(calls->meeting_folder, "kartiva-floor-check",
                           O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600);
  char path[4300];
  fstat(check, &facts);
  flock(check, LOCK_EX);
  made(pread(check, path, 32, 0));
  ask_settings(calls);
  snprintf(path, sizeof path, "%s/journal.log", calls->store);
  calls->journal =
      open(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600);
  fstat(calls->journal, &facts);
  journal_line(calls);
  close(check);
}

// A setting asked for, and its journal line.
static void query_setting(const struct store_calls* calls) {
  read_file(calls->settings);
  journal_line(calls);
}

// A basket or archive opened, as the session opens it and then the object itself.
static void open_folder_object(const struct store_calls* calls, const char* folder, int twice) {
  struct stat facts;
  ask_settings(calls);
  for (int time = 0; time <= twice; ++time) {
    stat(folder, &facts);
    journal_line(calls);
  }
}

// The folder's in-flight check: its work left in flight and its stamp.
static void check_in_flight(const char* folder) {
  struct stat facts;
  char path[4300];
  snprintf(path, sizeof path, "%s/.inflight", folder);
  mkdir(path, 0700);
  const int in_flight = open(path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  list_folder(in_flight);
  close(in_flight);
  snprintf(path, sizeof path, "%s/.inflight/stamp", folder);
  read_file(path);
  stat(folder, &facts);
}

#ifndef WITH_INDEX
// The settings, the basket and the in-flight check of a silent import.
static void store_calls_before(struct store_calls* calls, const char* basket) {
  meet_and_check(calls, basket);
  query_setting(calls);
  open_folder_object(calls, basket, 0);
  poll(&calls->batch, 1, 0);
  check_in_flight(basket);
}

// The copy's lock and its original name, as the store sets them before its data is flushed.
static void store_calls_on_copy(int copy, const char* file) {
  flock(copy, LOCK_EX | LOCK_NB);
  const char* name = strrchr(file, '/');
  name = name ? name + 1 : file;
  fsetxattr(copy, "user.kartiva.original_name", name, strlen(name), 0);
}
#endif

// The next number of a counter of the store.
static void take_number(const struct store_calls* calls, const char* counter_name) {
  struct stat facts;
  char path[4300];
  snprintf(path, sizeof path, "%s/.numbers/%s", calls->store, counter_name);
  const int counter = open(path, O_RDWR | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600);
  fstat(counter, &facts);
  flock(counter, LOCK_EX | LOCK_NB);
  made(pread(counter, path, 10, 0));
  made(pread(counter, path, 1, 9));
  made(pwrite(counter, "00000001\n", 9, 0));
  close(counter);
}

static void write_stamp(const char* folder) {
  struct stat facts;
  char path[4300];
  snprintf(path, sizeof path, "%s/.inflight/stamp", folder);
  const int stamp = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0600);
  flock(stamp, LOCK_EX);
  fstat(stamp, &facts);
  stat(folder, &facts);
  made(pwrite(stamp, "0 0 0.000000000\n", 16, 0));
  close(stamp);
}

// The look for instances on their way among the parent's children, and the meeting place taken
// away.
static void leave_meeting(struct store_calls* calls) {
  struct stat facts;
  char path[4300];
  poll(&calls->batch, 1, 0);
  poll(&calls->batch, 1, 0);
  const pid_t parent = getppid();
  snprintf(path, sizeof path, "/proc/%d/stat", (int)parent);
  const int state = open(path, O_RDONLY | O_CLOEXEC);
  made(read(state, path, 4096));
  close(state);
  getpid();
  snprintf(path, sizeof path, "/proc/%d/task", (int)parent);
  const int threads = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  char buffer[8192];
  getdents64(threads, buffer, sizeof buffer);
  snprintf(path, sizeof path, "%d/children", (int)parent);
  const int children = openat(threads, path, O_RDONLY | O_CLOEXEC);
  read_to_end(children);
  close(children);
  getdents64(threads, buffer, sizeof buffer);
  close(threads);
  close(calls->journal);

  fstatat(calls->meeting_folder, "kartiva-floor.socket", &facts, AT_SYMLINK_NOFOLLOW);
  unlinkat(calls->meeting_folder, "kartiva-floor.socket", 0);
  close(calls->meeting);
  close(calls->meeting_folder);
}

#ifndef WITH_INDEX
// The basket's number, its stamp, the last journal lines and the meeting's end of an import.
static void store_calls_after(struct store_calls* calls, const char* basket) {
  take_number(calls, "floor");
  write_stamp(basket);
  journal_line(calls);
  ask_settings(calls);
  journal_line(calls);
  leave_meeting(calls);
}
#endif
#endif

#if defined(WITH_INDEX) && defined(WITH_STORE_CALLS)
// A silent Tresolo of a file from outside the basket, call for call: its settings, the archives'
// list, the archive and basket opened, the file's check, its copy into the basket's in-flight
// folder under the basket's next number, then in the archive the index opened, the in-flight
// check, the look whether the newest rows have their files, the copy staged under an identity,
// flushed, numbered, its row committed, published, the folder flushed and the stamp written.
static int store_as_tresolo(const char* file, const char* archive, const char* name) {
  struct store_calls calls;
  struct stat facts;
  char basket[4300];
  char path[4400];
  meet_and_check(&calls, archive);
  snprintf(basket, sizeof basket, "%s/baskets/floor", calls.store);
  query_setting(&calls);
  ask_settings(&calls);
  snprintf(path, sizeof path, "%s/archives", calls.store);
  const int archives = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  list_folder(archives);
  close(archives);
  journal_line(&calls);
  poll(&calls.batch, 1, 0);
  query_setting(&calls);
  query_setting(&calls);
  open_folder_object(&calls, archive, 1);
  open_folder_object(&calls, basket, 1);
  ask_settings(&calls);
  int in = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  fstat(in, &facts);
  journal_line(&calls);
  close(in);

  check_in_flight(basket);
  in = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  fstat(in, &facts);
  snprintf(path, sizeof path, "%s/.inflight", basket);
  const int copy = open(path, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  flock(copy, LOCK_EX | LOCK_NB);
  if (in < 0 || copy < 0 || fstat(in, &facts) != 0 || copy_all(in, copy, facts.st_size) != 0)
    return -1;
  const char* original = strrchr(file, '/');
  original = original ? original + 1 : file;
  fsetxattr(copy, "user.kartiva.original_name", original, strlen(original), 0);
  close(in);
  take_number(&calls, "floor");
  journal_line(&calls);
  ask_settings(&calls);
  journal_line(&calls);
  ask_settings(&calls);
  journal_line(&calls);

  for (const char* const* suffix = (const char* const[]){"", "-wal", "-shm", NULL}; *suffix;
       ++suffix) {
    snprintf(path, sizeof path, "%s/index.sqlite%s", archive, *suffix);
    lstat(path, &facts);
  }
  sqlite3* db = open_index(archive);
  if (!db) return -1;
  check_in_flight(archive);
  const int folder = open(archive, O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (int row = 0; row < 16; ++row) fstatat(folder, name, &facts, AT_SYMLINK_NOFOLLOW);
  close(folder);
  char attribute[256];
  made(fgetxattr(copy, "user.kartiva.original_name", attribute, sizeof attribute));
  unsigned char identity[16];
  made(getrandom(identity, sizeof identity, 0));
  char unnamed[64];
  char staged[4400];
  snprintf(unnamed, sizeof unnamed, "/proc/self/fd/%d", copy);
  snprintf(staged, sizeof staged, "%s/.inflight/%s", archive, name);
  if (linkat(AT_FDCWD, unnamed, AT_FDCWD, staged, AT_SYMLINK_FOLLOW) != 0) return -1;
  const int held = open(staged, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  flock(held, LOCK_EX | LOCK_NB);
  close(held);
  if (fdatasync(copy) != 0) return -1;
  take_number(&calls, "floor-archive");
  snprintf(path, sizeof path, "%s/%s", archive, name);
  lstat(path, &facts);
  if (add_row(db, name, file) != 0 || link(staged, path) != 0) return -1;
  const int archive_folder = open(archive, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fsync(archive_folder) != 0) return -1;
  close(archive_folder);
  unlink(staged);
  write_stamp(archive);
  sqlite3_close(db);
  journal_line(&calls);
  close(copy);
  leave_meeting(&calls);
  return 0;
}
#endif

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: %s <file> <folder> <name>\n", argv[0]);
    return 2;
  }
  char own_name[32];
  if (strcmp(argv[3], "+") == 0) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    snprintf(own_name, sizeof own_name, "%x-%llx", (unsigned)getpid(),
             (unsigned long long)now.tv_sec * 1000000000ULL + (unsigned long long)now.tv_nsec);
    argv[3] = own_name;
  }
#if defined(WITH_INDEX) && defined(WITH_STORE_CALLS)
  if (store_as_tresolo(argv[1], argv[2], argv[3]) != 0) {
    perror(argv[3]);
    return 1;
  }
  return 0;
#else
#ifdef WITH_STORE_CALLS
  struct store_calls calls;
  store_calls_before(&calls, argv[2]);
#endif
  const int in = open(argv[1], O_RDONLY | O_CLOEXEC);
  const int folder = open(argv[2], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int out = open(argv[2], O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  struct stat source;
  char unnamed[64];
  snprintf(unnamed, sizeof unnamed, "/proc/self/fd/%d", out);
  if (in < 0 || folder < 0 || out < 0 || fstat(in, &source) != 0 ||
#ifdef WITH_STORE_CALLS
      (store_calls_on_copy(out, argv[1]), 0) ||
#endif
      copy_all(in, out, source.st_size) != 0 || flush_copy(out) != 0 ||
#ifdef WITH_INDEX
      add_row_alone(argv[2], argv[3], argv[1]) != 0 ||
#endif
      linkat(AT_FDCWD, unnamed, folder, argv[3], AT_SYMLINK_FOLLOW) != 0 || fsync(folder) != 0) {
    perror(argv[3]);
    return 1;
  }
  close(out);
  close(folder);
  close(in);
#ifdef WITH_STORE_CALLS
  store_calls_after(&calls, argv[2]);
#endif
  return 0;
#endif
}
