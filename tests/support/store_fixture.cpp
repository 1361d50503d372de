#include "tests/support/store_fixture.h"

#include <sqlite3.h>

#include <algorithm>
#include <regex>

#include "localstore/numbering.h"
#include "localstore/store.h"

namespace kartiva::testing {

namespace fs = std::filesystem;

IndexLock::IndexLock(const fs::path& archive) {
  sqlite3_open_v2((archive / "index.sqlite").c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
  locked_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

IndexLock::~IndexLock() {
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db_);
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

std::vector<fs::path> StoreTest::FilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  std::error_code missing;
  for (const auto& entry : fs::directory_iterator(folder, missing)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> StoreTest::Journal() const { return ReadLines(home() / "journal.log"); }

std::vector<std::string> StoreTest::IndexRows() const {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2((archive() / "index.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK) {
    sqlite3_exec(
        db,
        "SELECT document_name||'|'||index_string||'|'||mode||'|'||use_mask||'|'||delete_after"
        "||'|'||file FROM documents ORDER BY id",
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
  return census;
}

}  // namespace kartiva::testing
