// The local store used as a hostile user would use it: every case ends in a clear code or a good
// result, never in a hang, a silent death, a lost or doubled document, or a leftover.

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <thread>
#include <vector>

#include "linux_base/unique_fd.h"
#include "localstore/in_flight.h"
#include "localstore/local_session.h"
#include "localstore/numbering.h"
#include "tests/support/store_fixture.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

// Thrown by a case that needs the test hooks (crash points, refused calls) in a build without them.
struct NoCrashPoints {};

class HostileUse : public StoreTest {
 protected:
  // Runs `spec`'s program killed at the store's crash point `point`. The shipped programs have no
  // crash points: without -DKARTIVA_TEST_HOOKS=ON the case cannot be shown, and is left out.
  void KillAt(ProcessSpec spec, const char* point) const {
#ifndef KARTIVA_TEST_HOOKS
    throw NoCrashPoints{};
#endif
    spec.environment["KARTIVA_CRASH_AT"] = point;
    EXPECT_EQ(RunProcess(spec, temp_.path()).exitStatus, -1);
  }
  ProcessResult RunOn(const char* program, const fs::path& file, std::string input = "") const {
    return RunIn(program, {file.string()}, std::move(input));
  }
  fs::path Import(const std::string& name, const std::string& content) const {
    const ProcessResult result = RunOn(MAPPIX_PATH, Source(name, content));
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    return FilesIn(basket()).empty() ? fs::path() : FilesIn(basket()).back();
  }
  // Imports a document, stores it, lets the counters lose what they counted, imports `content`
  // under the number that comes back and kills its store at `point`.
  void StoreAgainUnderANumberThatCameBack(bool garbage, const char* point,
                                          const std::string& content) const {
    const fs::path counters = SaveCounters("counters");
    EXPECT_EQ(RunOn(TRESOLO_PATH, Import("a.txt", "A")).exitStatus, 0);
    SpoilCounters(garbage ? fs::path() : counters);
    const fs::path again = Import("b.txt", content);
    EXPECT_EQ(again.filename(), "00000001.001");
    KillAt(Spec(TRESOLO_PATH, {again.string()}), point);
  }
  // An index as stores made it before documents had identities, with these rows of
  // (file, origin).
  void MakeOldIndex(const std::vector<std::pair<std::string, std::string>>& rows) const {
    fs::remove(archive() / "index.sqlite");
    sqlite3* db = nullptr;
    sqlite3_open((archive() / "index.sqlite").c_str(), &db);
    std::string sql =
        "PRAGMA journal_mode=WAL; CREATE TABLE documents (id INTEGER PRIMARY KEY, file TEXT NOT "
        "NULL UNIQUE, document_name TEXT NOT NULL, index_string TEXT NOT NULL, mode INTEGER NOT "
        "NULL, use_mask INTEGER NOT NULL, delete_after INTEGER NOT NULL, stored_at TEXT NOT NULL,"
        " original_name TEXT NOT NULL DEFAULT '', origin TEXT NOT NULL DEFAULT '');";
    for (const auto& [file, origin] : rows) {
      sql +=
          "INSERT INTO documents (file, document_name, index_string, mode, use_mask,"
          " delete_after, stored_at, origin) VALUES ('" +
          file + "', '" + file + "', '', 1, 1, 1, '', '" + origin + "');";
    }
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  // Writes `content` under `name` and hard links it as `alias`, as a store killed in the middle
  // leaves one document under two names.
  void WriteTwice(const fs::path& name, const std::string& content, const fs::path& alias) const {
    WriteFile(name, content);
    fs::create_hard_link(name, alias);
  }
  std::string OriginalName(const std::string& file) const {
    std::string name;
    sqlite3* db = nullptr;
    sqlite3_open_v2((archive() / "index.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* query = nullptr;
    sqlite3_prepare_v2(db, "SELECT original_name FROM documents WHERE file = ?", -1, &query,
                       nullptr);
    sqlite3_bind_text(query, 1, file.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(query) == SQLITE_ROW) {
      name = reinterpret_cast<const char*>(sqlite3_column_text(query, 0));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return name;
  }
};

TEST_F(HostileUse, EndsInACodeOrAGoodResultNeverInALoss) {
  struct Case {
    std::string name;
    // Prepares the store and runs the program under test.
    std::function<ProcessResult()> run;
    int exitStatus;
    std::string errors;  // the end of what the program wrote
    std::multiset<std::string> documents;
    std::function<void()> check = [] {};
  };
  const Case cases[] = {
      {"a number freed by a deletion is not handed out again",
       [this] {
         fs::remove(Import("x.txt", "X"));
         return RunOn(MAPPIX_PATH, Source("y.txt", "Y"));
       },
       0,
       "",
       {"Y"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000002.001"), "Y"); }},
      {"foreign names in the basket are neither documents nor counted",
       [this] {
         for (const char* name :
              {"99999999.001", "-0000001.001", " 0000050.001", "+0000070.001", "notes.txt"}) {
           WriteFile(basket() / name, "foreign");
         }
         return RunOn(MAPPIX_PATH, Source("x.txt", "X"));
       },
       0,
       "",
       {"X", "foreign"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000001.001"), "X"); }},
      {"a pipe named journal.log blocks nothing",
       [this] {
         EXPECT_EQ(::mkfifo((home() / "journal.log").c_str(), 0644), 0);
         return RunOn(MAPPIX_PATH, Source("x.txt", "X"));
       },
       0,
       "",
       {"X"}},
      {"a file over the size limit is a full store, with nothing partial left",
       [this] {
         ProcessSpec spec =
             Spec(TRESOLO_PATH, {Source("big.bin", std::string(1 << 20, 'b')).string()});
         spec.fileSizeLimit = 64 * 1024;
         return RunProcess(spec, temp_.path());
       },
       2,
       "Unable to add the file to the basket: 80045009\n",
       {}},
      {"an index that cannot grow is a full store too, and the document stays",
       [this] {
         ProcessSpec spec = Spec(TRESOLO_PATH, {Import("x.txt", "X").string()});
         spec.fileSizeLimit = 8192;
         return RunProcess(spec, temp_.path());
       },
       2,
       "Unable to store the document: 80045009\n",
       {"X"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000001.001"), "X"); }},
      {"a symbolic link to a basket document is stored, never deleted",
       [this] {
         const fs::path link = temp_.path() / "x.001";
         fs::create_symlink(Import("x.txt", "X"), link);
         return RunOn(TRESOLO_PATH, link);
       },
       0,
       "Unable to convert the desired file.\n",
       {"X", "X"},
       [this] { EXPECT_TRUE(fs::is_symlink(temp_.path() / "x.001")); }},
      {"a document stored once is not found for a second store",
       [this] {
         const fs::path document = Import("x.txt", "X");
         EXPECT_EQ(RunOn(TRESOLO_PATH, document).exitStatus, 0);
         return RunOn(TRESOLO_PATH, document);
       },
       2,
       "Unable to store the document: 80045007\n",
       {"X"}},
      {"an archive whose highest file is gone still takes documents",
       [this] {
         EXPECT_EQ(RunOn(TRESOLO_PATH, Source("x.txt", "X")).exitStatus, 0);
         EXPECT_EQ(RunOn(TRESOLO_PATH, Source("y.txt", "Y")).exitStatus, 0);
         fs::remove(archive() / "00000002.001");
         return RunOn(TRESOLO_PATH, Source("z.txt", "Z"));
       },
       0,
       "",
       {"X", "Z"},
       [this] { EXPECT_EQ(ReadFile(archive() / "00000003.001"), "Z"); }},
      {"a locked index gives its code within seconds and the document stays",
       [this] {
         const fs::path document = Import("x.txt", "X");
         IndexLock lock(archive());
         EXPECT_TRUE(lock.locked());
         const auto start = std::chrono::steady_clock::now();
         ProcessResult result = RunOn(TRESOLO_PATH, document);
         EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
         return result;
       },
       2,
       "Unable to store the document: 8004500C\n",
       {"X"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000001.001"), "X"); }},
      {"an index whose file system gives no locks says so, and the document stays",
       [this] {
#ifndef KARTIVA_TEST_HOOKS
         throw NoCrashPoints{};  // only a test build can take the locks away
#endif
         ProcessSpec spec = Spec(TRESOLO_PATH, {Import("x.txt", "X").string()});
         spec.environment["KARTIVA_REFUSE"] = "fcntl";
         const ProcessResult result = RunProcess(spec, temp_.path());
         EXPECT_NE(result.errors.find("Kartiva: the file system of " + archive().string() +
                                      " gives no file locks (fcntl)"),
                   std::string::npos);
         return result;
       },
       2,
       "Unable to store the document: 8004500C\n",
       {"X"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000001.001"), "X"); }},
      {"a number that comes back after a lost counter update never costs the document claimed "
       "under it",
       [this] {
         StoreAgainUnderANumberThatCameBack(false, "document-claimed", "B");
         return RunOn(MAPPIX_PATH, Source("c.txt", "C"));
       },
       0,
       "",
       {"A", "B", "C"}},
      {"nor does a garbage counter, however far the store got",
       [this] {
         StoreAgainUnderANumberThatCameBack(true, "copy-flushed", "B");
         EXPECT_EQ(RunOn(TRESOLO_PATH, Source("c.txt", "C")).exitStatus, 0);
         return RunOn(TRESOLO_PATH, Source("d.txt", "D"));
       },
       0,
       "",
       {"A", "B", "C", "D"}},
#ifdef KARTIVA_TEST_HOOKS
      {"a document with its archive name is told stored but unconfirmed when the archive folder "
       "cannot be flushed, and a second store finds nothing to store",
       [this] {
         const fs::path document = Import("x.txt", "X");
         ProcessSpec spec = Spec(TRESOLO_PATH, {document.string()});
         spec.environment["KARTIVA_FLUSH_FAIL"] = "archives/Allgemein";
         const ProcessResult unconfirmed = RunProcess(spec, temp_.path());
         EXPECT_EQ(unconfirmed.exitStatus, 2);
         EXPECT_NE(unconfirmed.errors.find(
                       "The document was stored, but the disk did not confirm it: 8004500D\n"),
                   std::string::npos)
             << unconfirmed.errors;
         EXPECT_EQ(ReadFile(archive() / "00000001.001"), "X");
         const ProcessResult again = RunOn(TRESOLO_PATH, document);
         EXPECT_EQ(again.exitStatus, 2);
         EXPECT_TRUE(again.errors.ends_with("Unable to store the document: 80045007\n"))
             << again.errors;
         // The next operation on the basket finishes what the unconfirmed store left.
         return RunOn(MAPPIX_PATH, Source("y.txt", "Y"));
       },
       0,
       "",
       {"X", "Y"}},
      {"an import whose basket folder cannot be flushed is told imported but unconfirmed",
       [this] {
         ProcessSpec spec = Spec(MAPPIX_PATH, {Source("x.txt", "X").string()});
         spec.environment["KARTIVA_FLUSH_FAIL"] = "baskets/Eingang";
         return RunProcess(spec, temp_.path());
       },
       2,
       "Die Datei wurde importiert, aber die Festplatte hat es nicht best\xC3\xA4tigt: 8004500D\n",
       {"X"}},
      {"a selection whose basket folder cannot be flushed is told imported but unconfirmed, file "
       "by file",
       [this] {
         ::setenv("KARTIVA_FLUSH_FAIL", "baskets/Eingang", 1);
         const std::vector<ProcessResult> results = RunAtOnce(
             MAPPIX_PATH, {Source("x.txt", "X"), Source("y.txt", "Y"), Source("z.txt", "Z")});
         ::unsetenv("KARTIVA_FLUSH_FAIL");
         std::string errors;
         for (const ProcessResult& result : results) {
           EXPECT_EQ(result.exitStatus, 2);
           errors += result.errors;
         }
         const std::string told = "nicht best\xC3\xA4tigt: 8004500D";
         std::size_t times = 0;
         for (std::size_t at = errors.find(told); at != std::string::npos;
              at = errors.find(told, at + 1)) {
           ++times;
         }
         EXPECT_EQ(times, 3U) << errors;
         return ProcessResult{2, "", ""};
       },
       2,
       "",
       {"X", "Y", "Z"}},
#endif
      {"a recovery that cannot read the index leaves the killed store's work for later",
       [this] {
         KillAt(Spec(TRESOLO_PATH, {Import("x.txt", "X").string()}), "index-row-added");
         {
           const IndexLock blocking(archive(), true);
           EXPECT_TRUE(blocking.locked());
           EXPECT_EQ(RunOn(MAPPIX_PATH, Source("y.txt", "Y")).exitStatus, 0);
         }
         return RunOn(TRESOLO_PATH, Source("z.txt", "Z"));
       },
       0,
       "",
       {"X", "Y", "Z"}},
      {"an archive that may not be written gives its code and the document stays",
       [this] {
         const fs::path document = Import("x.txt", "X");
         const ReadOnlyFolder readOnly(archive());
         // Where no folder can be made read-only, the case has nothing to show.
         return readOnly.active()
                    ? RunOn(TRESOLO_PATH, document)
                    : ProcessResult{2, "", "Unable to store the document: 8004500A\n"};
       },
       2,
       "Unable to store the document: 8004500A\n",
       {"X"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000001.001"), "X"); }},
      {"a store made before identities is repaired on its first run",
       [this] {
         MakeOldIndex({{"00000001.001", "Eingang/00000001.001"},
                       {"00000002.001", "Eingang/00000002.001"},
                       {"00000004.001", "Eingang/00000005.001"}});
         // Published, its claim not yet deleted.
         WriteTwice(archive() / "00000001.001", "published", basket() / ".claim-00000001.001");
         // Indexed, not yet published.
         WriteTwice(basket() / ".claim-00000002.001", "indexed", archive() / ".store-00000002.001");
         // Staged only, and claimed only.
         WriteTwice(basket() / ".claim-00000003.001", "staged", archive() / ".store-00000003.001");
         WriteFile(basket() / ".claim-00000006.001", "claimed");
         // A claim whose origin an older document's row names.
         WriteFile(archive() / "00000004.001", "older");
         WriteFile(basket() / ".claim-00000005.001", "newer");
         return RunOn(TRESOLO_PATH, Source("y.txt", "Y"));
       },
       0,
       "",
       {"published", "indexed", "staged", "claimed", "older", "newer", "Y"}},
      {"a store that waited while the document's claim went back keeps the claim it then makes"
       " (on FUSE the name given back has a lock of its own)",
       [this] {
         const fs::path document = Import("x.txt", "X");
         auto held =
             std::make_optional<linux_os::UniqueFd>(::open(document.c_str(), O_RDONLY | O_CLOEXEC));
         EXPECT_EQ(::flock(held->get(), LOCK_EX), 0);  // as its first claimant holds it
         const fs::path folder = temp_.path() / "waiting store";
         fs::create_directories(folder);
         const pid_t store = Start(Spec(TRESOLO_PATH, {document.string()}), folder);
         std::this_thread::sleep_for(std::chrono::milliseconds(500));
         const fs::path claimed = basket() / localstore::kInFlightFolder / "handed back";
         fs::rename(document, claimed);
         fs::create_hard_link(claimed, document);
         fs::remove(claimed);
         {
           const IndexLock lock(archive());  // the store waits at its row
           held.reset();
           std::this_thread::sleep_for(std::chrono::milliseconds(500));
           // Its recovery finds the claim made under the name given back.
           EXPECT_EQ(RunOn(MAPPIX_PATH, Source("y.txt", "Y")).exitStatus, 0);
         }
         return Finish(store, folder, 60);
       },
       0,
       "",
       {"X", "Y"}},
      {"a store whose counters' folder is gone numbers on after the documents it has",
       [this] {
         Import("x.txt", "X");
         fs::remove_all(home() / localstore::kCounterFolder);
         return RunOn(MAPPIX_PATH, Source("y.txt", "Y"));
       },
       0,
       "",
       {"X", "Y"},
       [this] { EXPECT_EQ(ReadFile(basket() / "00000002.001"), "Y"); }},
      {"a huge kartiva.ini is not read",
       [this] {
         WriteFile(home() / "kartiva.ini",
                   "[Kartiva]\nActiveBasket=Eingang\n;" + std::string(1 << 20, 'x') + "\n");
         return RunOn(MAPPIX_PATH, Source("x.txt", "X"));
       },
       1,
       "Object variable not set: TKBasket\n",
       {}},
      {"the original name travels into the archive row",
       [this] {
         return RunOn(TRESOLO_PATH, Import("Angebot B\xC3\xBCrom\xC3\xB6"
                                           "bel.txt",
                                           "offer"));
       },
       0,
       "Unable to convert the desired file.\n",
       {"offer"},
       [this] {
         EXPECT_EQ(OriginalName("00000001.001"),
                   "Angebot B\xC3\xBCrom\xC3\xB6"
                   "bel.txt");
       }},
      {"holes stay holes",
       [this] {
         const fs::path sparse = temp_.path() / "sparse.img";
         WriteFile(sparse, "");
         fs::resize_file(sparse, 64 << 20);
         return RunOn(MAPPIX_PATH, sparse);
       },
       0,
       "",
       {std::string(64 << 20, '\0')},
       [this] {
         struct stat info {};
         ASSERT_EQ(::stat((basket() / "00000001.001").c_str(), &info), 0);
         EXPECT_LT(info.st_blocks * 512, 1 << 20) << "the copy filled its holes";
       }},
  };
  std::string leftOut;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home());
    Initialise();
    ProcessResult result;
    try {
      result = c.run();
    } catch (const NoCrashPoints&) {
      leftOut += "\n  " + c.name;
      continue;
    }
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_TRUE(result.errors.size() >= c.errors.size() &&
                result.errors.compare(result.errors.size() - c.errors.size(), c.errors.size(),
                                      c.errors) == 0)
        << result.errors;
    const Census census = TakeCensus();
    EXPECT_EQ(census.faults, std::vector<std::string>{});
    EXPECT_EQ(census.documents, c.documents);
    c.check();
  }
  if (!leftOut.empty()) {
    GTEST_SKIP() << "left out, as they need the crash points of a build with "
                    "-DKARTIVA_TEST_HOOKS=ON:"
                 << leftOut;
  }
}

// Whatever bears the next number, a link to a file or to nothing, a folder or a pipe, the name is
// taken: the document is published under the number after it, and the thing stays as it was,
// without a row.
TEST_F(HostileUse, ANameTakenInAnyWayIsTaken) {
  const std::pair<std::string, std::function<void(const fs::path&)>> takers[] = {
      {"a link to a file",
       [this](const fs::path& at) { fs::create_symlink(Source("elsewhere.txt", "E"), at); }},
      {"a dangling link", [](const fs::path& at) { fs::create_symlink("/nowhere/at/all", at); }},
      {"a folder", [](const fs::path& at) { fs::create_directory(at); }},
      {"a pipe", [](const fs::path& at) { EXPECT_EQ(::mkfifo(at.c_str(), 0644), 0); }},
  };
  for (const auto& [taker, take] : takers) {
    for (const bool inArchive : {false, true}) {
      SCOPED_TRACE(taker + (inArchive ? " in the archive" : " in the basket"));
      fs::remove_all(home());
      Initialise();
      const fs::path folder = inArchive ? archive() : basket();
      take(folder / "00000001.001");
      const ProcessResult result =
          RunOn(inArchive ? TRESOLO_PATH : MAPPIX_PATH, Source("x.txt", "X"));
      EXPECT_EQ(result.exitStatus, 0) << result.errors;
      EXPECT_EQ(ReadFile(folder / "00000002.001"), "X");
      EXPECT_TRUE(fs::exists(fs::symlink_status(folder / "00000001.001")));
      EXPECT_EQ(IndexRows(), inArchive
                                 ? std::vector<std::string>{"00000001.001||1|1|1|00000002.001"}
                                 : std::vector<std::string>{});
      EXPECT_EQ(TakeCensus().faults, std::vector<std::string>{});
    }
  }
}

// Declining the start question, however the answer comes, writes nothing at all.
TEST_F(HostileUse, DecliningTheStartWritesNothing) {
  const std::string answers[] = {"n\n", "", "y" + std::string(5000, ' ') + "\n"};
  for (const std::string& answer : answers) {
    const ProcessResult result = RunOn(MAPPIX_PATH, Source("x.txt", "X"), answer);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(fs::exists(home())) << "answer of " << answer.size() << " bytes";
  }
}

// Where the store's file system has no hard links (FAT, exFAT, some SMB shares, rclone), every
// tool names the folder and what it lacks, gives its code, and leaves everything as it was. Not
// in the run on a bindfs mount: it makes file systems of its own.
TEST_F(StoreTest, WithoutHardLinksEveryToolSaysSoAndChangesNothing) {
  struct Setting {
    std::string name;
    std::string mount;    // a kind of StoreMount to keep the store on, or none
    std::string refused;  // the calls the programs of a test build refuse, or none
  };
  const Setting settings[] = {
      {"exFAT through FUSE", "exfat", ""},
      {"no hard links but RENAME_NOREPLACE, as FAT in the kernel", "", "O_TMPFILE,link"},
      {"neither, as rclone", "", "renameat2,O_TMPFILE,link"},
  };
  int tried = 0;
  for (const Setting& setting : settings) {
    SCOPED_TRACE(setting.name);
    std::optional<StoreMount> mount;
    if (!setting.mount.empty()) mount.emplace(setting.mount, temp_.path());
#ifndef KARTIVA_TEST_HOOKS
    if (!setting.refused.empty()) continue;
#endif
    if (mount && !mount->failure().empty()) {
      std::printf("skipped: %s\n", mount->failure().c_str());
      continue;
    }
    ++tried;
    storeParent_ = mount ? mount->folder() : temp_.path();
    fs::remove_all(home());
    Initialise();
    WriteFile(basket() / "00000001.001", "D");
    // The folder named is the basket, or the archive where a claimed document went first.
    const std::regex said("Kartiva: the store's folder " + home().string() +
                          "/(baskets/Eingang|archives/Allgemein) is on a file system without hard"
                          " links \\(FAT, exFAT, some SMB shares\\)");
    const std::pair<std::vector<std::string>, std::string> runs[] = {
        {{MAPPIX_PATH, Source("x.txt", "X").string()}, "Fehler beim Datei-Import: 8004500E\n"},
        {{TRESOLO_PATH, (basket() / "00000001.001").string()},
         "Unable to store the document: 8004500E\n"},
        {{TRESOLO_PATH, Source("y.txt", "Y").string()}, "Unable to store the document: 8004500E\n"},
    };
    for (const auto& [command, ending] : runs) {
      ProcessSpec spec = Spec(command[0], {command[1]});
      if (!setting.refused.empty()) spec.environment["KARTIVA_REFUSE"] = setting.refused;
      const ProcessResult result = RunProcess(spec, temp_.path());
      EXPECT_EQ(result.exitStatus, 2);
      EXPECT_TRUE(std::regex_search(result.errors, said)) << result.errors;
      EXPECT_TRUE(result.errors.ends_with(ending)) << result.errors;
    }
    const Census census = TakeCensus();
    EXPECT_EQ(census.faults, std::vector<std::string>{});
    EXPECT_EQ(census.documents, std::multiset<std::string>{"D"});
    storeParent_ = temp_.path();
  }
  if (tried == 0) GTEST_SKIP() << "neither an exFAT mount nor a test build to refuse the calls";
}

}  // namespace
}  // namespace kartiva::testing
