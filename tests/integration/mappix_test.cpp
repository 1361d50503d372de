// Runs the built Mappix against a temporary local store, as the file manager starts it.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/support/store_fixture.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStartQuestion =
    "Kartiva starten?\nKartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?\n[J/n] ";

class MappixProgram : public StoreTest {
 protected:
  ProcessSpec Spec(std::vector<std::string> arguments, std::string input = "") const {
    return StoreTest::Spec(MAPPIX_PATH, std::move(arguments), std::move(input));
  }
  ProcessResult Mappix(std::vector<std::string> arguments, std::string input = "") const {
    return RunIn(MAPPIX_PATH, std::move(arguments), std::move(input));
  }
  std::vector<fs::path> Documents() const { return FilesIn(basket()); }
};

TEST_F(MappixProgram, FreshStoreAsksToStartAndFollowsTheAnswer) {
  const struct {
    std::string input;
    bool starts;
  } answers[] = {{"n\n", false}, {"", false},    {"nein\n", false}, {"y\n", true},
                 {"\n", true},   {"JA\n", true}, {"Yes\n", true},   {"j", true}};
  for (const auto& answer : answers) {
    SCOPED_TRACE("answer " + answer.input);
    fs::remove_all(home());
    const fs::path source = Source("offer.txt", "offer");
    const ProcessResult result = Mappix({source.string()}, answer.input);

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors, kStartQuestion);
    if (!answer.starts) {
      EXPECT_FALSE(fs::exists(home())) << "declining wrote to the store";
      continue;
    }
    const std::string document = (basket() / "00000001.001").string();
    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "IsClientRunning -> 0 false",
                             "StartClient \"\" \"\" 90 -> 0",
                             "QueryActiveBasket -> 0 \"Eingang\"",
                             "OpenBasket \"Eingang\" -> 0",
                             "AddFile \"" + source.string() + "\" \"\" -> 0 \"" + document + "\"",
                             "Refresh -> 0",
                         }));
    EXPECT_EQ(ReadFile(document), "offer");
  }
}

TEST_F(MappixProgram, SecondRunImportsSilentlyAndLeavesTheSourceAlone) {
  Initialise();
  const fs::path source = Source("scans/offer.pdf", std::string(5000, 'x'));
  const auto written = fs::last_write_time(source);
  for (int run = 1; run <= 2; ++run) {
    const ProcessResult result = Mappix({source.string()});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors, "");
  }
  ASSERT_EQ(Documents().size(), 2u);
  for (const fs::path& document : Documents()) EXPECT_EQ(ReadFile(document), ReadFile(source));
  EXPECT_EQ(ReadFile(source), std::string(5000, 'x'));
  EXPECT_EQ(fs::last_write_time(source), written);
}

TEST_F(MappixProgram, PathsReachTheStoreUnchanged) {
  Initialise();
  const fs::path quoted = Source("My Scans/a \"quoted\"  name.txt", "quoted");
  const fs::path blanks = Source("My Scans/two words.txt", "blanks");
  const struct {
    std::vector<std::string> arguments;
    fs::path source;
    std::string journalPath;
  } cases[] = {
      {{quoted.string()}, quoted, (temp_.path() / "My Scans/a \\\"quoted\\\"  name.txt").string()},
      // Separate arguments are joined by single blanks into the one path.
      {{(temp_.path() / "My").string(), "Scans/two", "words.txt"}, blanks, blanks.string()},
  };
  for (const auto& c : cases) {
    const ProcessResult result = Mappix(c.arguments);
    EXPECT_EQ(result.errors, "");
    const std::vector<std::string> journal = Journal();
    ASSERT_GE(journal.size(), 2u);
    EXPECT_EQ(journal[journal.size() - 2].rfind("AddFile \"" + c.journalPath + "\" \"\" -> 0 ", 0),
              0u)
        << journal[journal.size() - 2];
    EXPECT_EQ(ReadFile(Documents().back()), ReadFile(c.source));
  }
}

TEST_F(MappixProgram, BadInputGetsAClearMessageAndImportsNothing) {
  Initialise();
  const fs::path folder = temp_.path() / "a folder";
  fs::create_directories(folder);
  const fs::path fifo = temp_.path() / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const struct {
    std::string name;
    std::vector<std::string> arguments;
    std::string errors;
  } cases[] = {
      {"empty command line",
       {},
       "Fehler beim Import\nEs ist ein Fehler beim Import aufgetreten!\n"},
      {"missing file",
       {(temp_.path() / "gone.doc").string()},
       "Mappix\nFehler beim Datei-Import: 80045007\n"},
      {"folder", {folder.string()}, "Mappix\nFehler beim Datei-Import: 80045008\n"},
      {"pipe that nobody writes", {fifo.string()}, "Mappix\nFehler beim Datei-Import: 80045008\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult result = Mappix(c.arguments);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.errors, c.errors);
  }
  EXPECT_TRUE(Documents().empty());
}

TEST_F(MappixProgram, BasketNameThatWouldLeaveItsFolderIsRefused) {
  Initialise();
  const fs::path source = Source("offer.txt", "offer");
  for (const std::string name : {"..", "../../outside", "Eingang/../..", "a\\b"}) {
    SCOPED_TRACE(name);
    WriteFile(home() / "kartiva.ini",
              "[Kartiva]\nActiveBasket=" + name + "\nActiveArchive=Allgemein\n");
    const ProcessResult result = Mappix({source.string()});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.errors.rfind("Mappix\nZielbriefkorb konnte nicht gefunden werden: 80045004\n"
                                  "Mappix\nRun-time error '91':",
                                  0),
              0u)
        << result.errors;
  }
  std::set<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(temp_.path())) {
    if (entry.is_regular_file()) files.insert(entry.path().filename());
  }
  // The client check's lock lies in the test's runtime folder, outside the store.
  EXPECT_EQ(files, (std::set<fs::path>{"offer.txt", "kartiva.ini", "index.sqlite", "journal.log",
                                       "baskets.Eingang", "archives.Allgemein", "stdin", "stdout",
                                       "stderr", "kartiva-client-check"}));
}

TEST_F(MappixProgram, FullOrReadOnlyStoreIsReportedAndLeavesNothingHalfWritten) {
  Initialise();
  const fs::path source = Source("big.bin", std::string(64 * 1024, 'b'));

  ProcessSpec full = Spec({source.string()});
  full.fileSizeLimit = 4096;
  EXPECT_EQ(RunProcess(full, temp_.path()).errors, "Mappix\nFehler beim Datei-Import: 80045009\n");
  EXPECT_TRUE(Documents().empty());

  ReadOnlyFolder readOnly(basket());
  if (!readOnly.active()) GTEST_SKIP() << "this file system cannot make a folder read-only";
  EXPECT_EQ(Mappix({source.string()}).errors, "Mappix\nFehler beim Datei-Import: 8004500A\n");
  EXPECT_TRUE(Documents().empty());
}

TEST_F(MappixProgram, FiftyProcessesAtOnceGiveFiftyDistinctDocuments) {
  Initialise();
  const std::multiset<std::string> sources = RunFiftyAtOnce(MAPPIX_PATH, ".txt", [](int i) {
    return "document " + std::to_string(i) + std::string(100 * i, '.');
  });
  std::multiset<std::string> documents;
  for (const fs::path& document : Documents()) {
    EXPECT_EQ(document.extension(), ".001") << document;
    documents.insert(ReadFile(document));
  }
  EXPECT_EQ(documents, sources);
}

// Twenty files selected while the client is stopped: one instance asks and starts it, the others
// wait for its answer and import silently.
TEST_F(MappixProgram, TwentyAtOnceOnAStoppedStoreAskOnce) {
  std::vector<fs::path> selection;
  for (int i = 0; i < 20; ++i) {
    selection.push_back(Source("selected/" + std::to_string(i) + ".txt", std::to_string(i)));
  }
  int questions = 0;
  for (const ProcessResult& result : RunAtOnce(MAPPIX_PATH, selection, "y\n")) {
    EXPECT_EQ(result.exitStatus, 0);
    if (result.errors == kStartQuestion) {
      ++questions;
    } else {
      EXPECT_EQ(result.errors, "");
    }
  }
  EXPECT_EQ(questions, 1);
  const std::vector<std::string> journal = Journal();
  EXPECT_EQ(
      std::count_if(journal.begin(), journal.end(),
                    [](const std::string& line) { return line.rfind("StartClient", 0) == 0; }),
      1);
  EXPECT_EQ(Documents().size(), selection.size());
}

TEST_F(MappixProgram, SilentRunLoadsNoGuiLibrary) {
  Initialise();
  const fs::path source = Source("offer.txt", "offer");
  ProcessSpec spec = Spec({source.string()});
  spec.environment["LD_DEBUG"] = "libs";
  const ProcessResult result = RunProcess(spec, temp_.path());
  ASSERT_NE(result.errors.find("calling init"), std::string::npos) << "the loader reported nothing";
  for (const char* gui : {"libQt", "libX11", "libxcb", "libwayland", "libgtk", "libGL"}) {
    EXPECT_EQ(result.errors.find(gui), std::string::npos) << gui;
  }
}

}  // namespace
}  // namespace kartiva::testing
