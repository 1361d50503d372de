// Runs the built Tresolo against a temporary local store, as the file manager starts it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <filesystem>
#include <optional>
#include <set>
#include <sstream>

#include "localstore/local_session.h"
#include "tests/support/store_fixture.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

class TresoloProgram : public StoreTest {
 protected:
  ProcessResult Tresolo(std::vector<std::string> arguments, std::string input = "") const {
    return RunIn(TRESOLO_PATH, std::move(arguments), std::move(input));
  }
  // A document of the active basket, as the import tool leaves it.
  fs::path BasketDocument(const std::string& content) const {
    const auto session = localstore::OpenSession(home());
    std::shared_ptr<ToolkitBasket> basketObject;
    std::string added;
    ErrorCode error = 0;
    session->OpenBasket("Eingang", basketObject, error);
    Require(basketObject, "basket")
        .AddFile(Source("incoming.tmp", content).string(), "", added, error);
    EXPECT_EQ(error, 0);
    return added;
  }
};

TEST_F(TresoloProgram, ForeignFileEndsUpInTheActiveArchiveWithoutBasketCopy) {
  Initialise();
  const fs::path source = Source("Scans/offer 2026.doc", "the offer");
  const ProcessResult result = Tresolo({source.string()});

  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.errors, "");
  EXPECT_EQ(IndexRows(), std::vector<std::string>{"00000001.001||1|1|1|00000001.001"});
  EXPECT_EQ(ReadFile(archive() / "00000001.001"), "the offer");
  EXPECT_TRUE(FilesIn(basket()).empty());
  EXPECT_EQ(ReadFile(source), "the offer");
}

TEST_F(TresoloProgram, BasketDocumentIsStoredAfterTheConversionMessage) {
  Initialise();
  const fs::path document = BasketDocument("scanned");
  const ProcessResult result = Tresolo({document.string()});

  EXPECT_EQ(result.errors, "Unable to convert file.\nUnable to convert the desired file.\n");
  EXPECT_EQ(IndexRows(), std::vector<std::string>{"00000001.001||1|1|1|00000001.001"});
  EXPECT_EQ(ReadFile(archive() / "00000001.001"), "scanned");
  EXPECT_TRUE(FilesIn(basket()).empty());
}

TEST_F(TresoloProgram, StopsWithAClearMessageAndChangesNothing) {
  const struct {
    std::string name;
    std::string ini;  // replaces kartiva.ini when not empty
    bool withoutArchives;
    std::vector<std::string> arguments;
    std::string errors;
    int exitStatus;
  } cases[] = {
      {"empty command line",
       "",
       false,
       {},
       "Missing information\nPlease enter a file to store.\r\n\n",
       2},
      {"empty active basket",
       "[Kartiva]\nActiveBasket=\nActiveArchive=Allgemein\n",
       false,
       {"x.doc"},
       "Missing information\nAn active basket is not present.\r\n\n",
       2},
      {"missing file",
       "",
       false,
       {"/nowhere/offer.doc"},
       "Tresolo\nUnable to add the file to the basket: 80045007\n",
       2},
      // With no archive at all, the store still tries the active one, which is gone too.
      {"no archives",
       "",
       true,
       {"x.doc"},
       "No archives available\nThere are no archives presently registered in Kartiva.\n"
       "Tresolo\nRun-time error '91':\n\nObject variable not set: TKArchive\n",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home());
    Initialise();
    if (!c.ini.empty()) WriteFile(home() / "kartiva.ini", c.ini);
    if (c.withoutArchives) fs::remove_all(archive());
    const ProcessResult result = Tresolo(c.arguments);
    EXPECT_EQ(result.errors, c.errors);
    EXPECT_EQ(result.exitStatus, c.exitStatus);
    EXPECT_TRUE(FilesIn(basket()).empty());
    EXPECT_TRUE(IndexRows().empty());
  }
}

TEST_F(TresoloProgram, FreshStoreAsksToStartAndDeclineStoresNothing) {
  const fs::path source = Source("offer.doc", "offer");
  const ProcessResult result = Tresolo({source.string()}, "n\n");
  EXPECT_EQ(result.errors,
            "Kartiva starten?\nKartiva ist nicht gestartet. Soll Kartiva jetzt gestartet "
            "werden?\n[Y/n] ");
  EXPECT_FALSE(fs::exists(home())) << "declining wrote to the store";
}

// How a store ends at a crash point: killed (the kernel keeps all it took, flushed or not), with
// the counters then losing the numbers the killed store handed out, or cut off as by a power cut
// that wrote of the unflushed changes only those of the folders named (crash_state.h): every
// combination of the four folders a store changes, the worst order a file system may choose.
struct CrashEnd {
  std::string name;
  bool countersLost = false;
  std::optional<std::string> cut{};
};

std::vector<CrashEnd> EveryCrashEnd() {
  const char* folders[] = {"Eingang", "Eingang/.inflight", "Allgemein", "Allgemein/.inflight"};
  std::vector<CrashEnd> ends{{"killed"}, {"killed, the counters lost", true}};
  for (int kept = 0; kept < 16; ++kept) {
    std::string cut = "-";  // names no folder
    for (int i = 0; i < 4; ++i) {
      if ((kept & (1 << i)) != 0) cut += std::string(",") + folders[i];
    }
    ends.push_back({"power cut writing " + cut, false, cut});
  }
  return ends;
}

// The name a document was imported under, as the store records it beside the document.
std::string OriginalNameOf(const fs::path& document) {
  std::string name(4096, '\0');
  const ssize_t size =
      ::getxattr(document.c_str(), "user.kartiva.original_name", name.data(), name.size());
  name.resize(size < 0 ? 0 : static_cast<std::size_t>(size));
  return name;
}

void Arm(ProcessSpec& spec, const std::string& point, const CrashEnd& end) {
  spec.environment["KARTIVA_CRASH_AT"] = point;
  if (end.cut) spec.environment["KARTIVA_CRASH_CUT"] = *end.cut;
}

// Crashes the store at each step of storing a basket document, killed or cut off by a power cut,
// and checks that, after the next operation, the document is in the basket or in the archive
// (file and index row) exactly once with its bytes, and nothing of the crashed store is left
// over; a crash once the store is done (its last step) finds it in the archive already. Also when
// the counters then lose the numbers the killed store handed out, and a new document gets the
// killed one's basket number.
TEST_F(TresoloProgram, CrashAtAnyStepOfTheStoreLosesNothing) {
#ifndef KARTIVA_TEST_HOOKS
  GTEST_SKIP() << "the crash points need a build with -DKARTIVA_TEST_HOOKS=ON";
#endif
  for (const std::string point :
       {"document-claimed", "copy-written", "copy-flushed", "index-row-added",
        "archive-copy-published", "basket-copy-deleted"}) {
    for (const CrashEnd& end : EveryCrashEnd()) {
      SCOPED_TRACE(point + ", " + end.name);
      fs::remove_all(home());
      Initialise();
      const fs::path counters = SaveCounters("counters");
      const fs::path document = BasketDocument("precious");
      ProcessSpec spec = Spec(TRESOLO_PATH, {document.string()});
      Arm(spec, point, end);
      EXPECT_EQ(RunProcess(spec, temp_.path()).exitStatus, -1)
          << "the store did not reach " << point;
      if (point == "basket-copy-deleted") {
        EXPECT_EQ(ReadFile(archive() / "00000001.001"), "precious");
        EXPECT_FALSE(fs::exists(document));
      }
      std::multiset<std::string> expected{"next", "precious"};
      if (end.countersLost) {
        SpoilCounters(counters);
        BasketDocument("again");
        expected.insert("again");
      }

      EXPECT_EQ(Tresolo({Source("next.txt", "next").string()}).exitStatus, 0);
      const Census census = TakeCensus();
      EXPECT_EQ(census.faults, std::vector<std::string>{});
      EXPECT_EQ(census.documents, expected);
    }
  }
  // The recovery that gives the killed store's claim back may be cut off too.
  for (const CrashEnd& end : EveryCrashEnd()) {
    if (!end.cut) continue;
    SCOPED_TRACE("the hand-back, " + end.name);
    fs::remove_all(home());
    Initialise();
    ProcessSpec kill = Spec(TRESOLO_PATH, {BasketDocument("precious").string()});
    Arm(kill, "document-claimed", {});
    EXPECT_EQ(RunProcess(kill, temp_.path()).exitStatus, -1);
    ProcessSpec cut = Spec(TRESOLO_PATH, {Source("next.txt", "next").string()});
    Arm(cut, "claim-handed-back", end);
    EXPECT_EQ(RunProcess(cut, temp_.path()).exitStatus, -1);
    EXPECT_EQ(Tresolo({Source("next.txt", "next").string()}).exitStatus, 0);
    const Census census = TakeCensus();
    EXPECT_EQ(census.faults, std::vector<std::string>{});
    EXPECT_EQ(census.documents, (std::multiset<std::string>{"next", "precious"}));
  }
}

// Crashes the store of a foreign file at each step, killed or cut off, and then does what a user
// does: stores the same file again when the crash came before the index commit, or goes on with
// another file after it. The file is filed exactly once with its bytes, or (a power cut before
// the store was done) not at all and still where it was; never twice, never as zeros. Also the
// import tool, which must have its document in the basket once it is done.
TEST_F(TresoloProgram, CrashOfAForeignFileAndItsRetryNeverFileItTwice) {
#ifndef KARTIVA_TEST_HOOKS
  GTEST_SKIP() << "the crash points need a build with -DKARTIVA_TEST_HOOKS=ON";
#endif
  const struct {
    std::string program;
    std::string point;
    bool retried;  // the crash came before the store could be finished: the user tries again
    bool done;     // the program's work is done: nothing a cut throws away may cost it
  } points[] = {
      {TRESOLO_PATH, "copy-added", true, false},
      {TRESOLO_PATH, "copy-written", true, false},
      {TRESOLO_PATH, "copy-flushed", true, false},
      {TRESOLO_PATH, "index-row-added", false, false},
      {TRESOLO_PATH, "archive-copy-published", false, true},
      {MAPPIX_PATH, "import-named", false, false},
      {MAPPIX_PATH, "import-done", false, false},  // its folder is flushed with the batch's
      {MAPPIX_PATH, "names-held", false, false},
      {MAPPIX_PATH, "names-confirmed", false, true},
  };
  for (const auto& p : points) {
    const fs::path folder = p.program == MAPPIX_PATH ? basket() : archive();
    for (const CrashEnd& end : EveryCrashEnd()) {
      if (end.countersLost) continue;
      SCOPED_TRACE(p.point + ", " + end.name);
      fs::remove_all(home());
      Initialise();
      const fs::path source = Source("precious.doc", std::string(20000, 'p'));
      ProcessSpec spec = Spec(p.program, {source.string()});
      Arm(spec, p.point, end);
      EXPECT_EQ(RunProcess(spec, temp_.path()).exitStatus, -1)
          << "the program did not reach " << p.point;
      if (p.done) {
        EXPECT_TRUE(ReadFile(folder / "00000001.001") == ReadFile(source)) << "not there";
        if (p.program == MAPPIX_PATH) {
          EXPECT_EQ(OriginalNameOf(folder / "00000001.001"), "precious.doc");
        }
      }
      const fs::path next = p.retried ? source : Source("next.txt", "next");
      EXPECT_EQ(RunIn(p.program, {next.string()}).exitStatus, 0);
      const Census census = TakeCensus();
      EXPECT_EQ(census.faults, std::vector<std::string>{});
      std::multiset<std::string> documents = census.documents;
      if (!p.retried) {
        EXPECT_EQ(documents.erase("next"), 1U);
      }
      EXPECT_LE(documents.size(), 1U);
      EXPECT_EQ(documents.count(ReadFile(source)), documents.size()) << "a document lost its bytes";
      if (p.retried || p.done || !end.cut) {
        EXPECT_EQ(documents.size(), 1U);
      }
    }
  }
}

// Each operation flushes exactly where the order matters, no more: removing any one of these
// flushes fails the crash tests above, and adding one costs every user.
TEST_F(TresoloProgram, FlushesWhereTheOrderMattersAndNowhereElse) {
#ifndef KARTIVA_TEST_HOOKS
  GTEST_SKIP() << "the flush log needs a build with -DKARTIVA_TEST_HOOKS=ON";
#endif
  const std::vector<std::string> store{"data", "index", "folder archives/Allgemein"};
  const struct {
    std::string name;
    std::string program;
    bool basketDocument;
    std::vector<std::string> flushes;
  } cases[] = {
      {"an import", MAPPIX_PATH, false, {"data", "folder baskets/Eingang"}},
      {"a store of a foreign file", TRESOLO_PATH, false, store},
      {"a store of a basket document",
       TRESOLO_PATH,
       true,
       {"folder baskets/Eingang", "data", "index", "folder archives/Allgemein"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home());
    Initialise();
    const fs::path file = c.basketDocument ? BasketDocument("x") : Source("x.txt", "x");
    const fs::path log = temp_.path() / "flushes.log";
    fs::remove(log);
    ProcessSpec spec = Spec(c.program, {file.string()});
    spec.environment["KARTIVA_FLUSH_LOG"] = log.string();
    EXPECT_EQ(RunProcess(spec, temp_.path()).exitStatus, 0);
    std::vector<std::string> flushes;
    std::istringstream lines(ReadFile(log));
    for (std::string line; std::getline(lines, line);) flushes.push_back(line);
    EXPECT_EQ(flushes, c.flushes);
  }
}

// The explicit check repairs every folder in full, says per folder what it did, and tells by its
// status whether anything is left for a later run.
TEST_F(TresoloProgram, CheckRepairsTheWholeStoreAndReports) {
  const auto rows = [](int count) {
    return std::to_string(count) + (count == 1 ? " row" : " rows");
  };
  const auto line = [&](const std::string& folder, int rowsAdded, int rowsRemoved, int left) {
    return folder + ": 0 finished, 0 handed back, " + rows(rowsAdded) + " added, " +
           rows(rowsRemoved) + " removed, 0 removed, " + std::to_string(left) +
           " left for a later run\n";
  };
  const struct {
    std::string name;
    bool indexBlocked;
    std::string strayFile;  // dropped into the basket: a name no document has
    std::string output;
    int exitStatus;
  } cases[] = {
      {"a file dropped in, a file deleted", false, "",
       line("archive Allgemein", 1, 1, 0) + line("basket Eingang", 0, 0, 0), 0},
      {"the index held by another process", true, "",
       line("archive Allgemein", 0, 0, 1) + line("basket Eingang", 0, 0, 0), 2},
      {"a file that no document's name has", false, "notes\n.txt",
       line("archive Allgemein", 1, 1, 0) + line("basket Eingang", 0, 0, 0) +
           "basket Eingang: not filed: notes?.txt (no document has this name)\n",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home());
    Initialise();
    EXPECT_EQ(Tresolo({Source("x.txt", "X").string()}).exitStatus, 0);
    fs::remove(archive() / "00000001.001");
    WriteFile(archive() / "00000009.001", "dropped in");
    if (!c.strayFile.empty()) WriteFile(basket() / c.strayFile, "mine");
    {
      std::optional<IndexLock> blocking;
      if (c.indexBlocked) blocking.emplace(archive(), true);
      const ProcessResult result = Tresolo({"--check"});
      EXPECT_EQ(result.output, c.output);
      EXPECT_EQ(result.exitStatus, c.exitStatus);
    }
    if (c.exitStatus == 0 || !c.strayFile.empty()) {
      EXPECT_EQ(TakeCensus().faults, std::vector<std::string>{});
    }
  }
  // A report that cannot be written is not an answer that all is in order.
  const ProcessResult unwritten =
      RunIn("/bin/sh", {"-c", "exec \"$0\" --check >/dev/full", TRESOLO_PATH});
  EXPECT_EQ(unwritten.exitStatus, 2);
  EXPECT_EQ(unwritten.errors, "Tresolo --check: the report could not be written\n");
  fs::remove_all(home());
  EXPECT_EQ(Tresolo({"--check"}).exitStatus, 1);
}

// Whether another user could read `path` in the store: every folder on the way there lets others
// through, and the file itself lets them read it.
bool OthersCanRead(const fs::path& root, const fs::path& path) {
  for (fs::path at = path; at != root.parent_path(); at = at.parent_path()) {
    const fs::perms need = at == path ? fs::perms::others_read | fs::perms::group_read
                                      : fs::perms::others_exec | fs::perms::group_exec;
    if ((fs::symlink_status(at).permissions() & need) == fs::perms::none) return false;
  }
  return true;
}

// Whatever the umask, everything the store writes is its owner's alone; a store whose files were
// left readable to others is out of their reach once it is used, and file by file after a check.
TEST_F(TresoloProgram, StoreIsReadableByItsOwnerAlone) {
  const auto everything = [&] {
    std::vector<fs::path> paths{home()};
    for (const auto& entry : fs::recursive_directory_iterator(home())) paths.push_back(entry);
    return paths;
  };
  const mode_t umask = ::umask(0);  // files 0666 and folders 0777 unless the store says otherwise
  Initialise();
  ASSERT_EQ(Tresolo({Source("a.txt", "A").string()}).exitStatus, 0);
  ASSERT_EQ(Tresolo({BasketDocument("B").string()}).exitStatus, 0);
  BasketDocument("D");
  for (const fs::path& path : everything()) {
    EXPECT_EQ(fs::symlink_status(path).permissions() & fs::perms::group_all, fs::perms::none)
        << path;
    EXPECT_EQ(fs::symlink_status(path).permissions() & fs::perms::others_all, fs::perms::none)
        << path;
  }
  // As a store made before, under the usual umask.
  for (const fs::path& path : everything()) {
    fs::permissions(path, fs::is_directory(path) ? fs::perms(0755) : fs::perms(0644));
  }
  ::umask(umask);
  ASSERT_EQ(Tresolo({Source("c.txt", "C").string()}).exitStatus, 0);
  // The store's root is left as the user made it: what it shows is the names below.
  for (const fs::path& path : everything()) {
    EXPECT_TRUE(path == home() || !OthersCanRead(home(), path)) << path;
  }
  ASSERT_EQ(Tresolo({"--check"}).exitStatus, 0);
  for (const fs::path& path : everything()) {
    if (path == home()) continue;  // the folder the user chose for the store
    EXPECT_EQ(fs::symlink_status(path).permissions() & fs::perms::others_all, fs::perms::none)
        << path;
  }
}

TEST_F(TresoloProgram, FiftyProcessesAtOnceStoreFiftyDocuments) {
  Initialise();
  const std::multiset<std::string> sources =
      RunFiftyAtOnce(TRESOLO_PATH, ".doc", [](int i) { return "document " + std::to_string(i); });
  std::multiset<std::string> stored;
  for (const std::string& row : IndexRows()) {
    stored.insert(ReadFile(archive() / row.substr(row.rfind('|') + 1)));
  }
  EXPECT_EQ(stored, sources);
  EXPECT_TRUE(FilesIn(basket()).empty());
}

}  // namespace
}  // namespace kartiva::testing
