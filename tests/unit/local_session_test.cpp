// The local stand-in on a real folder: the archive side, the codes of its failures, its journal.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "localstore/archive_index.h"
#include "localstore/codes.h"
#include "localstore/files.h"
#include "localstore/folder_stamp.h"
#include "localstore/in_flight.h"
#include "localstore/local_session.h"
#include "localstore/publishing.h"
#include "tests/support/store_fixture.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;
using namespace kartiva::localstore;

// A time as the index writes it, by the C library's own conversion.
std::string UtcText(std::time_t at) {
  std::tm utc{};
  gmtime_r(&at, &utc);
  char text[32];
  return {text, std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc)};
}

class LocalStore : public StoreTest {
 protected:
  std::shared_ptr<ToolkitSession> session_ = OpenSession(home());
  ErrorCode error_ = 12345;
};

TEST_F(LocalStore, StoresABasketDocumentDurablyAndOnlyThenRemovesIt) {
  const std::time_t before = std::time(nullptr);
  Initialise();
  const fs::path outside = Source("outside.001", "kept");
  std::shared_ptr<ToolkitBasket> basket;
  std::shared_ptr<ToolkitArchive> archive;
  std::string added;
  session_->OpenBasket("Eingang", basket, error_);
  session_->OpenArchive("Allgemein", archive, error_);
  Require(basket, "basket").AddFile(Source("offer.doc", "offer").string(), "", added, error_);
  ASSERT_EQ(error_, 0);

  session_->SetDocumentName("00000001.001", error_);
  Require(archive, "archive").StoreFile(added, 1, true, true, "0,DOC_NAME,64,", error_);
  EXPECT_EQ(error_, 0);
  EXPECT_FALSE(fs::exists(added));
  EXPECT_EQ(ReadFile(home() / "archives/Allgemein/00000001.001"), "offer");

  // A file outside the baskets is the user's own: stored, never deleted.
  archive->StoreFile(outside.string(), 1, false, true, "", error_);
  EXPECT_EQ(error_, 0);
  EXPECT_EQ(ReadFile(outside), "kept");
  EXPECT_EQ(ReadFile(home() / "archives/Allgemein/00000002.001"), "kept");

  EXPECT_EQ(IndexRows(), (std::vector<std::string>{"00000001.001|0,DOC_NAME,64,|1|1|1|00000001.001",
                                                   "outside.001||1|0|1|00000002.001"}));
  // Each row says when it was stored, in UTC.
  const std::time_t after = std::time(nullptr);
  for (const std::string& storedAt : IndexRows("stored_at")) {
    std::time_t at = before;
    while (at < after && UtcText(at) != storedAt) ++at;
    EXPECT_EQ(storedAt, UtcText(at));
  }
}

// A number that a row has already, though its file is not there (a counter that a power cut
// rolled back), is passed over: the index refuses it.
TEST_F(LocalStore, AddsARowUnderTheNextNumberThatNoRowHas) {
  Initialise();
  ArchiveIndex index;
  ASSERT_EQ(index.Open(archive()), 0);
  ASSERT_EQ(index.Add({.file = "00000001.001", .documentName = "first", .indexString = ""}), 0);
  IndexRow row{.documentName = "second", .indexString = ""};
  EXPECT_EQ(AddUnderFreeName(index, archive(), row), 0);
  EXPECT_EQ(row.file, "00000002.001");
  EXPECT_EQ(IndexRows("document_name||'|'||file"),
            (std::vector<std::string>{"first|00000001.001", "second|00000002.001"}));
}

// An index of the first layout (no original name, origin or identity) is brought up to date when
// it is first opened, its rows kept; the next opening finds it so.
TEST_F(LocalStore, AnIndexOfTheFirstLayoutGetsTheNewColumnsOnce) {
  Initialise();
  fs::remove(archive() / "index.sqlite");
  sqlite3* old = nullptr;
  ASSERT_EQ(sqlite3_open((archive() / "index.sqlite").c_str(), &old), SQLITE_OK);
  EXPECT_EQ(
      sqlite3_exec(old,
                   "PRAGMA journal_mode=WAL; CREATE TABLE documents (id INTEGER PRIMARY KEY,"
                   " file TEXT NOT NULL UNIQUE, document_name TEXT NOT NULL, index_string"
                   " TEXT NOT NULL, mode INTEGER NOT NULL, use_mask INTEGER NOT NULL,"
                   " delete_after INTEGER NOT NULL, stored_at TEXT NOT NULL);"
                   " INSERT INTO documents VALUES (1, '00000001.001', 'old', '', 1, 0, 0, '');",
                   nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(old);
  for (const char* name : {"00000002.001", "00000003.001"}) {
    ArchiveIndex index;
    ASSERT_EQ(index.Open(archive()), 0);
    EXPECT_EQ(index.Add({.file = name,
                         .documentName = "new",
                         .indexString = "",
                         .originalName = "a.pdf",
                         .identity = name}),
              0);
  }
  EXPECT_EQ(IndexRows("file||'|'||original_name||'|'||identity"),
            (std::vector<std::string>{"00000001.001||", "00000002.001|a.pdf|00000002.001",
                                      "00000003.001|a.pdf|00000003.001"}));
  EXPECT_EQ(IndexRows("(SELECT user_version FROM pragma_user_version)").front(), "2");
}

// Each store first looks whether the archive's newest rows still have their files (a power cut
// after a row's commit can take its file's names, leaving the folder as its stamp saw it): a row
// whose file is gone goes, unless its copy is still on its way, held by the store writing it.
TEST_F(LocalStore, AStoreRemovesANewRowWhoseFileIsGoneUnlessItIsOnItsWay) {
  Initialise();
  const std::string gone(kIdentityLength, 'a'), onItsWay(kIdentityLength, 'b');
  {
    ArchiveIndex index;
    ASSERT_EQ(index.Open(archive()), 0);
    for (const auto& [file, identity] :
         {std::pair{"00000001.001", "kept"}, std::pair{"00000002.001", gone.c_str()},
          std::pair{"00000003.001", onItsWay.c_str()}}) {
      ASSERT_EQ(
          index.Add({.file = file, .documentName = file, .indexString = "", .identity = identity}),
          0);
    }
  }
  WriteFile(archive() / "00000001.001", "kept");
  ASSERT_EQ(MakeInFlightFolder(archive()), 0);
  WriteFile(InFlightName(archive(), onItsWay), "on its way");
  UniqueFd writer;
  ASSERT_TRUE(LockByName(InFlightName(archive(), onItsWay), writer));
  RecordFolderStamp(archive());

  std::shared_ptr<ToolkitArchive> opened;
  session_->OpenArchive("Allgemein", opened, error_);
  session_->SetDocumentName("new", error_);
  Require(opened, "archive")
      .StoreFile(Source("new.pdf", "new").string(), 1, false, true, "", error_);
  EXPECT_EQ(error_, 0);
  EXPECT_EQ(IndexRows("file||'|'||document_name"),
            (std::vector<std::string>{"00000001.001|00000001.001", "00000003.001|00000003.001",
                                      "00000002.001|new"}));
}

TEST_F(LocalStore, EveryFailureHandsBackItsCode) {
  struct Case {
    std::string name;
    bool initialised;
    std::string ini;  // replaces kartiva.ini when not empty
    std::function<void(ToolkitSession&, ErrorCode&)> call;
    ErrorCode code;
  };
  const fs::path missing = temp_.path() / "missing.doc";
  const Case cases[] = {
      {"active basket before start", false, "",
       [](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.QueryActiveBasket(n, e);
       },
       kNotStarted},
      {"archives before start", false, "",
       [](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.ListArchives(n, e);
       },
       kNotStarted},
      {"refresh before start", false, "", [](ToolkitSession& s, ErrorCode& e) { s.Refresh(e); },
       kNotStarted},
      {"no active basket", true, "ActiveBasket=\nActiveArchive=Allgemein\n",
       [](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.QueryActiveBasket(n, e);
       },
       kNoActiveBasket},
      {"no active archive", true, "ActiveBasket=Eingang\n",
       [](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.QueryActiveArchive(n, e);
       },
       kNoActiveArchive},
      {"archive name leaving its folder", true, "ActiveArchive=../..\n",
       [](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.QueryActiveArchive(n, e);
       },
       kBadName},
      {"basket name leaving its folder", true, "",
       [](ToolkitSession& s, ErrorCode& e) {
         std::shared_ptr<ToolkitBasket> b;
         s.OpenBasket("..", b, e);
       },
       kBadName},
      {"no such basket", true, "",
       [](ToolkitSession& s, ErrorCode& e) {
         std::shared_ptr<ToolkitBasket> b;
         s.OpenBasket("Nope", b, e);
       },
       kNoSuchBasket},
      {"no such archive", true, "",
       [](ToolkitSession& s, ErrorCode& e) {
         std::shared_ptr<ToolkitArchive> a;
         s.OpenArchive("Nope", a, e);
       },
       kNoSuchArchive},
      {"converting a missing file", true, "",
       [&](ToolkitSession& s, ErrorCode& e) {
         std::string n;
         s.ConvertFile(missing.string(), "Eingang", "", n, e);
       },
       kFileNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(home());
    if (c.initialised) Initialise();
    if (!c.ini.empty()) WriteFile(home() / "kartiva.ini", c.ini);
    ErrorCode error = 0;
    c.call(*session_, error);
    EXPECT_EQ(HexCode(error), HexCode(c.code));
  }
}

TEST_F(LocalStore, ListsArchivesSortedAndConvertsToTheSameFile) {
  Initialise();
  for (const char* name : {"Zeta", "Beta"}) {
    fs::create_directories(home() / "archives" / name);
    ASSERT_EQ(ArchiveIndex::Create(home() / "archives" / name), 0);
  }
  // A plain file and a dangling link are no archives; a link to an archive's folder is one.
  WriteFile(home() / "archives" / "notes.txt", "x");
  fs::create_directory_symlink(home() / "archives" / "Beta", home() / "archives" / "Linked");
  fs::create_symlink(home() / "gone", home() / "archives" / "Gone");
  std::string names, active, converted;
  session_->ListArchives(names, error_);
  EXPECT_EQ(names, "Allgemein,Beta,Linked,Zeta");
  session_->QueryActiveArchive(active, error_);
  EXPECT_EQ(active, "Allgemein");
  const fs::path scan = Source("scan.TIF", "tif");
  session_->ConvertFile(scan.string(), "Eingang", "", converted, error_);
  EXPECT_EQ(error_, 0);
  EXPECT_EQ(converted, scan.string());
}

TEST_F(LocalStore, JournalKeepsEveryOperationOnOneLine) {
  Initialise();
  std::shared_ptr<ToolkitBasket> basket;
  std::string added;
  session_->OpenBasket("Eingang", basket, error_);
  Require(basket, "basket").AddFile("a \"b\"\nc\\d", "descr", added, error_);
  EXPECT_EQ(
      ReadLines(home() / "journal.log"),
      (std::vector<std::string>{"OpenBasket \"Eingang\" -> 0",
                                "AddFile \"a \\\"b\\\"\\x0Ac\\\\d\" \"descr\" -> 80045007 \"\""}));
}

}  // namespace
}  // namespace kartiva::testing
