#include "tests/support/store_fixture.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>

#include "localstore/in_flight.h"
#include "localstore/numbering.h"
#include "localstore/store.h"

namespace kartiva::testing {

namespace fs = std::filesystem;

IndexLock::IndexLock(const fs::path& archive, bool blockReaders) {
  sqlite3_open_v2((archive / "index.sqlite").c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  const char* lock =
      blockReaders ? "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE";
  locked_ = sqlite3_exec(db_, lock, nullptr, nullptr, nullptr) == SQLITE_OK;
}

IndexLock::~IndexLock() {
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db_);
}

ReadOnlyFolder::ReadOnlyFolder(fs::path folder) : folder_(std::move(folder)) {
  if (::geteuid() != 0) {
    fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::remove);
    active_ = true;
  } else {
    active_ = SetImmutable(true);
  }
}

ReadOnlyFolder::~ReadOnlyFolder() {
  if (::geteuid() != 0) {
    fs::permissions(folder_, fs::perms::owner_write, fs::perm_options::add);
  } else if (active_) {
    SetImmutable(false);
  }
}

bool ReadOnlyFolder::SetImmutable(bool on) const {
  const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

StoreMount::StoreMount(const std::string& kind, const fs::path& scratch)
    : scratch_(scratch / ("mount-" + kind)), folder_(scratch_ / "mounted") {
  fs::create_directories(folder_);
  if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
    failure_ = "a " + kind + " mount needs root and /dev/fuse";
    return;
  }
  Mount(kind);
}

void StoreMount::Mount(const std::string& kind) {
  if (kind == "bindfs") {
    fs::create_directories(scratch_ / "under");
    failure_ = Run({"bindfs", (scratch_ / "under").string(), folder_.string()});
  } else if (kind == "exfat") {
    const fs::path image = scratch_ / "exfat.img";
    WriteFile(image, "");
    fs::resize_file(image, 32 << 20);
    failure_ = Run({"mkfs.exfat", image.string()});
    if (failure_.empty()) failure_ = Run({"losetup", "-f", "--show", image.string()}, &device_);
    if (!device_.empty() && device_.back() == '\n') device_.pop_back();
    if (failure_.empty()) failure_ = Run({"mount.exfat-fuse", device_, folder_.string()});
  } else {
    failure_ = "no such kind of mount: " + kind;
  }
  if (!failure_.empty()) failure_ = "no " + kind + " mount: " + failure_;
}

StoreMount::~StoreMount() {
  if (failure_.empty()) static_cast<void>(Run({"fusermount", "-u", folder_.string()}));
  if (!device_.empty()) static_cast<void>(Run({"losetup", "-d", device_}));
}

std::string StoreMount::Run(std::vector<std::string> command, std::string* output) const {
  const ProcessResult result = RunProcess(
      {.program = "/usr/bin/env", .arguments = std::move(command), .environment = {}, .input = ""},
      scratch_);
  if (output) *output = result.output;
  if (result.exitStatus == 0) return "";
  return result.errors.empty() ? "status " + std::to_string(result.exitStatus) : result.errors;
}

void StoreTest::SetUp() {
  const char* kind = std::getenv("KARTIVA_TEST_MOUNT");
  if (!kind || !*kind) return;
  mount_.emplace(kind, temp_.path());
  if (!mount_->failure().empty()) GTEST_SKIP() << mount_->failure();
  storeParent_ = mount_->folder();
}

void StoreTest::Initialise() const { ASSERT_EQ(localstore::Store(home()).Initialise(), 0); }

fs::path StoreTest::Source(const std::string& name, const std::string& content) const {
  const fs::path path = temp_.path() / name;
  fs::create_directories(path.parent_path());
  WriteFile(path, content);
  return path;
}

ProcessSpec StoreTest::Spec(const std::string& program, std::vector<std::string> arguments,
                            std::string input) const {
  // A runtime folder of the test's own, so that the client checks of tests running side by side
  // never wait for each other or take each other's answers.
  const fs::path runtime = temp_.path() / "runtime";
  fs::create_directories(runtime);
  fs::permissions(runtime, fs::perms::owner_all);
  return {.program = program,
          .arguments = std::move(arguments),
          .environment = {{"KARTIVA_HOME", home().string()},
                          {"KARTIVA_UI", "console"},
                          {"XDG_RUNTIME_DIR", runtime.string()}},
          .input = std::move(input)};
}

ProcessResult StoreTest::RunIn(const std::string& program, std::vector<std::string> arguments,
                               std::string input) const {
  return RunProcess(Spec(program, std::move(arguments), std::move(input)), temp_.path());
}

std::vector<ProcessResult> StoreTest::RunAtOnce(const std::string& program,
                                                const std::vector<fs::path>& sources,
                                                const std::string& input) const {
  std::vector<std::pair<pid_t, fs::path>> running;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const fs::path folder = temp_.path() / ("run" + std::to_string(i));
    fs::create_directories(folder);
    running.emplace_back(Start(Spec(program, {sources[i].string()}, input), folder), folder);
  }
  static const std::regex progress("(Datei \\d+ von|File \\d+ of) \\d+: [^\n]*\n");
  std::vector<ProcessResult> results;
  for (const auto& [pid, folder] : running) {
    results.push_back(Finish(pid, folder, 120));
    results.back().errors = std::regex_replace(results.back().errors, progress, "");
  }
  return results;
}

std::multiset<std::string> StoreTest::RunFiftyAtOnce(
    const std::string& program, const std::string& extension,
    const std::function<std::string(int)>& content) const {
  std::multiset<std::string> contents;
  std::vector<fs::path> selection;
  for (int i = 0; i < 50; ++i) {
    contents.insert(content(i));
    selection.push_back(Source("selected/file " + std::to_string(i) + extension, content(i)));
  }
  for (const ProcessResult& result : RunAtOnce(program, selection)) {
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors, "");
  }
  return contents;
}

fs::path StoreTest::SaveCounters(const std::string& name) const {
  const fs::path saved = temp_.path() / name;
  fs::remove_all(saved);
  fs::copy(home() / localstore::kCounterFolder, saved);
  return saved;
}

void StoreTest::SpoilCounters(const fs::path& saved) const {
  const fs::path counters = home() / localstore::kCounterFolder;
  if (saved.empty()) {
    for (const fs::path& counter : FilesIn(counters)) WriteFile(counter, "garbage");
    return;
  }
  fs::remove_all(counters);
  fs::copy(saved, counters);
}

std::vector<fs::path> StoreTest::FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing)) {
    if (entry.symlink_status().type() == fs::file_type::regular) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> StoreTest::Journal() const { return ReadLines(home() / "journal.log"); }

std::vector<std::string> StoreTest::IndexRows(const std::string& columns) const {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((archive() / "index.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    sqlite3_exec(
        db, ("SELECT " + columns + " FROM documents ORDER BY id").c_str(),
        [](void* out, int, char** values, char**) {
          static_cast<std::vector<std::string>*>(out)->push_back(values[0]);
          return 0;
        },
        &rows, nullptr);
  }
  sqlite3_close(db);
  return rows;
}

namespace {

bool IsLeftOver(const std::string& name) { return name.front() == '.'; }

}  // namespace

StoreTest::Census StoreTest::TakeCensus() const {
  Census census;
  for (const fs::path& file : FilesIn(basket())) {
    const std::string name = file.filename().string();
    if (IsLeftOver(name)) census.faults.push_back("left over in the basket: " + name);
    if (localstore::DocumentNumber(name) != 0) census.documents.insert(ReadFile(file));
  }
  std::set<std::string> indexed;
  for (const std::string& row : IndexRows()) indexed.insert(row.substr(row.rfind('|') + 1));
  for (const fs::path& file : FilesIn(archive())) {
    const std::string name = file.filename().string();
    if (IsLeftOver(name)) census.faults.push_back("left over in the archive: " + name);
    if (localstore::DocumentNumber(name) == 0) continue;
    if (indexed.erase(name) == 0) census.faults.push_back("archive file without a row: " + name);
    census.documents.insert(ReadFile(file));
  }
  for (const std::string& file : indexed) census.faults.push_back("row without a file: " + file);
  std::set<std::pair<dev_t, ino_t>> inodes;
  for (const fs::path& folder : {basket(), archive()}) {
    for (const fs::path& file : FilesIn(folder)) {
      struct stat info {};
      if (localstore::DocumentNumber(file.filename().string()) == 0 ||
          ::lstat(file.c_str(), &info) != 0 || inodes.insert({info.st_dev, info.st_ino}).second) {
        continue;
      }
      census.faults.push_back("one file under two names: " + file.string());
    }
  }
  // The work in flight that nobody finished: everything in an in-flight folder but its stamp.
  for (const fs::path& folder : {basket(), archive()}) {
    for (const fs::path& file : FilesIn(folder / localstore::kInFlightFolder)) {
      if (file.filename() != "stamp") census.faults.push_back("left in flight: " + file.string());
    }
  }
  return census;
}

}  // namespace kartiva::testing
