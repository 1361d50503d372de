#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "localstore/files.h"
#include "localstore/numbering.h"

namespace kartiva::localstore {
namespace {

// Only exactly eight digits and ".001" name a document; a number counts whatever hidden name of the
// store carries it, so that no number on its way is handed out twice.
TEST(DocumentNames, OnlyEightDigitsAndTheSuffixCount) {
  const std::pair<const char*, unsigned long> cases[] = {
      {"00000001.001", 1},         {"99999999.001", 99999999}, {"00000000.001", 0},
      {"-0000001.001", 0},         {" 0000050.001", 0},        {"+0000070.001", 0},
      {"0000001.001", 0},          {"000000001.001", 0},       {"00000001.002", 0},
      {"00000001.0010", 0},        {"0000000a.001", 0},        {".claim-00000003.001", 3},
      {".store-00000004.001", 4},  {".claim-notes.txt", 0},    {".incoming-00000005.001", 0},
      {"x.claim-00000006.001", 0},
  };
  for (const auto& [name, number] : cases) EXPECT_EQ(NumberIn(name), number) << name;
  EXPECT_EQ(DocumentNumber(".claim-00000003.001"), 0u);
  EXPECT_EQ(DocumentName(42), "00000042.001");
  EXPECT_EQ(DocumentName(0), "00000000.001");
  EXPECT_EQ(DocumentName(99999999), "99999999.001");
  EXPECT_EQ(DocumentName(123456789), "123456789.001");
}

// Each basket and archive has its counter in the store's counters' folder, named by its kind and
// its name, wherever the store is.
TEST(DocumentNames, EachFolderHasItsCounterBesideTheKinds) {
  const std::pair<const char*, const char*> cases[] = {
      {"/home/u/.local/share/kartiva/baskets/Eingang",
       "/home/u/.local/share/kartiva/.numbers/baskets.Eingang"},
      {"/s/archives/Alte Briefe", "/s/.numbers/archives.Alte Briefe"},
      {"store/baskets/Eingang", "store/.numbers/baskets.Eingang"},
      {"/baskets/Eingang", "/.numbers/baskets.Eingang"},
      {"baskets/Eingang", ".numbers/baskets.Eingang"},
  };
  for (const auto& [folder, counter] : cases) EXPECT_EQ(CounterFile(folder), counter) << folder;
}

// The store joins and cuts its paths as strings; they come out as std::filesystem's would.
TEST(DocumentNames, PathsAreJoinedAndCutAsFileSystemPathsAre) {
  for (const char* path : {"/s/baskets/Eingang/00000001.001", "offer.pdf", "./a b.pdf", "/a/b/",
                           "/", "", "dir/.hidden", "x/..", "Zeile\nUmbruch 100%.pdf"}) {
    EXPECT_EQ(LastName(path), std::filesystem::path(path).filename().string()) << path;
  }
  for (const char* folder : {"/s/archives/Allgemein", "store", "/", "/s/store/", ""}) {
    EXPECT_EQ(PathIn(folder, ".inflight"), (std::filesystem::path(folder) / ".inflight").string())
        << folder;
  }
}

}  // namespace
}  // namespace kartiva::localstore
