// What the Linux registration leaves among the user's own entries: it never changes or removes a
// file of the user's, never waits on a pipe, writes a linked uca.xml where it points, cleans up
// after a run that crashed half-way, and reports what it could not do.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/registration_boxes.h"
#include "tests/unit/file_manager_desk.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

const std::string kUserScript = "#!/bin/sh\necho mine\n";
const std::string kUserUca =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action><name>Mine</name>"
    "<unique-id>1-1</unique-id><command>true %f</command></action>\n</actions>\n";

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  WriteFile(path, content);
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

struct Case {
  std::string name;
  std::function<void(FileManagerDesk&)> before;  // after a first "Aktivieren" when `again`
  bool again;                                    // "Aktivieren" once before `before`
  bool append;                                   // the action: Aktivieren, else Deaktivieren
  std::vector<MsgBoxRequest> boxes;              // their first paragraph
  std::function<void(FileManagerDesk&)> check;
  std::string inTheWay{};  // what a failure box names after its code ("~/" is the home folder)
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Publication : public ::testing::TestWithParam<Case> {};

TEST_P(Publication, LeavesTheUsersOwnAndReports) {
  const Case& c = GetParam();
  FileManagerDesk desk;
  if (c.again) {
    ASSERT_EQ(desk.Click(true, "/opt/Kartiva Tools"), std::vector{Added()});
  }
  c.before(desk);
  std::vector<MsgBoxRequest> boxes = desk.Click(c.append, "/opt/Kartiva Tools");
  std::string named;
  for (MsgBoxRequest& box : boxes) {
    const std::size_t detail = box.text.find("\n\n");
    if (detail == std::string::npos) continue;
    named = box.text.substr(detail + 2, box.text.find(": ", detail) - detail - 2);
    box.text.erase(detail);
  }
  EXPECT_EQ(boxes, c.boxes);
  const bool home = c.inTheWay.starts_with("~/");
  EXPECT_EQ(named, home ? (desk.home / c.inTheWay.substr(2)).string() : c.inTheWay);
  c.check(desk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Publication,
    ::testing::Values(
        Case{"SecondAktivierenLeavesOneEntryEach",
             [](FileManagerDesk&) {},
             true,
             true,
             {Added()},
             [](FileManagerDesk& desk) {
               for (const fs::path& folder : {desk.places.nautilusScripts, desk.places.cajaScripts,
                                              desk.places.nemoActions}) {
                 EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << folder;
               }
               EXPECT_EQ(Count(ReadFile(desk.places.thunarActions), "<action>"), 2u);
             }},
        Case{"UsersScriptOfTheSameNameIsKeptAndNoFileManagerGetsAnEntry",
             [](FileManagerDesk& desk) {
               Write(desk.places.nautilusScripts / kImportText, kUserScript);
             },
             false,
             true,
             {NotAdded("B7")},
             [](FileManagerDesk& desk) {
               EXPECT_EQ(ReadFile(desk.places.nautilusScripts / kImportText), kUserScript);
               // All or nothing: not one of the two entries anywhere else.
               for (const fs::path& folder :
                    {desk.places.cajaScripts, desk.places.nemoActions,
                     desk.places.fileManagerActions, desk.places.dolphinMenus}) {
                 EXPECT_TRUE(!fs::exists(folder) || fs::is_empty(folder)) << folder;
               }
               EXPECT_FALSE(fs::exists(desk.places.thunarActions));
               EXPECT_EQ(ReadFile(desk.home / "classes.reg").find("KV5"), std::string::npos);
             },
             "~/nautilus/In KV5-Briefkorb importieren"},
        Case{
            "DeaktivierenKeepsAUsersFileUnderAnEntrysNameAndSaysSo",
            [](FileManagerDesk& desk) { Write(desk.places.cajaScripts / kStoreText, kUserScript); },
            true,
            false,
            {NotRemoved("B7")},
            [](FileManagerDesk& desk) {
              EXPECT_EQ(ReadFile(desk.places.cajaScripts / kStoreText), kUserScript);
              EXPECT_FALSE(fs::exists(desk.places.nautilusScripts / kStoreText));
              EXPECT_FALSE(fs::exists(desk.places.cajaScripts / kImportText));
              // A second Deaktivieren says the same, the record being empty by now.
              EXPECT_EQ(desk.Click(false, "/opt/Kartiva Tools").at(0).text.substr(0, 62),
                        NotRemoved("B7").text.substr(0, 62));
            },
            "~/caja/In KV5-Archiv ablegen"},
        Case{"PipeOfTheSameNameIsNeitherReadNorRemoved",
             [](FileManagerDesk& desk) {
               for (const fs::path& path :
                    {desk.places.cajaScripts / kStoreText, desk.places.thunarActions}) {
                 fs::remove(path);
                 ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
               }
             },
             true,
             false,
             {Removed()},
             [](FileManagerDesk& desk) {
               EXPECT_TRUE(fs::is_fifo(desk.places.cajaScripts / kStoreText));
               EXPECT_TRUE(fs::is_fifo(desk.places.thunarActions));
               EXPECT_FALSE(fs::exists(desk.places.cajaScripts / kImportText));
             }},
        Case{"DeaktivierenAfterACrashHalfWayCleansUp",
             [](FileManagerDesk& desk) {
               // The record lost its entries, but the entries were not taken down yet.
               RegistryKey shell;
               ASSERT_EQ(desk.regFile.OpenKey("*", shell), 0);
               ASSERT_EQ(desk.regFile.DeleteSubKey(shell, "shell"), kErrorAccessDenied);
               for (const std::string& text : {kImportText, kStoreText}) {
                 RegistryKey entry;
                 ASSERT_EQ(desk.regFile.OpenKey("*\\shell\\" + text, entry), 0);
                 ASSERT_EQ(desk.regFile.DeleteSubKey(entry, "command"), 0);
               }
               Write(desk.places.nemoActions / "mine.nemo_action", "[Nemo Action]\n");
             },
             true,
             false,
             {Removed()},
             [](FileManagerDesk& desk) {
               EXPECT_EQ(fs::directory_iterator(desk.places.nemoActions)->path().filename(),
                         "mine.nemo_action");
               EXPECT_FALSE(fs::exists(desk.places.nautilusScripts / kImportText));
               EXPECT_FALSE(
                   fs::exists(desk.places.dolphinMenus / "kartiva-explorer-tools.desktop"));
               EXPECT_EQ(Count(ReadFile(desk.places.thunarActions), "<action>"), 0u);
             }},
        Case{"LinkedThunarFileIsWrittenWhereItPoints",
             [](FileManagerDesk& desk) {
               Write(desk.home / "dotfiles" / "uca.xml", kUserUca);
               fs::create_directories(desk.places.thunarActions.parent_path());
               fs::create_symlink("../dotfiles/uca.xml", desk.places.thunarActions);
             },
             false,
             true,
             {Added()},
             [](FileManagerDesk& desk) {
               EXPECT_TRUE(fs::is_symlink(desk.places.thunarActions));
               const std::string uca = ReadFile(desk.home / "dotfiles" / "uca.xml");
               EXPECT_EQ(uca.find("<action><name>Mine</name>"), kUserUca.find("<action>"));
               EXPECT_EQ(Count(uca, "<action>"), 3u);
             }},
        Case{"ThunarFileThatCannotBeMergedFailsAndStaysAsItIs",
             [](FileManagerDesk& desk) { Write(desk.places.thunarActions, "<actions><action>"); },
             false,
             true,
             {NotAdded("570")},
             [](FileManagerDesk& desk) {
               EXPECT_EQ(ReadFile(desk.places.thunarActions), "<actions><action>");
               // A change whose entries cannot follow it reports why, as does a failed opening.
               EXPECT_EQ(desk.registry.CreateKey("*\\shell"), 1392);
               RegistryKey key;
               EXPECT_EQ(desk.registry.OpenKey("*\\shell\\open", key), 1392);
             },
             "~/Thunar/uca.xml"},
        Case{"ThunarFileOfMoreThanFourMebibytesIsLeftAsItIs",
             [](FileManagerDesk& desk) {
               Write(desk.places.thunarActions,
                     "<actions>" + std::string(std::size_t{4} << 20, ' ') + "</actions>");
             },
             false,
             true,
             {NotAdded("DF")},
             [](FileManagerDesk& desk) {
               EXPECT_EQ(fs::file_size(desk.places.thunarActions), (std::size_t{4} << 20) + 19);
             },
             "~/Thunar/uca.xml"},
        Case{"MenuTextThatCannotNameAFileIsReported",
             [](FileManagerDesk& desk) {
               ASSERT_EQ(desk.regFile.SetDefaultValue("*\\shell\\a/b\\command", "/bin/a %1"), 0);
             },
             false,
             true,
             {NotAdded("A1")},
             [](FileManagerDesk& desk) {
               EXPECT_FALSE(fs::exists(desk.places.nautilusScripts / "a"));
             },
             "a/b"}),
    [](const auto& info) { return info.param.name; });

// Taking entries down (what a deletion publishes) after both entries were published: only the
// entries no longer wanted go, nothing is written for the one that stays, and only a file that may
// hold entries of ours and cannot be brought down is a failure.
struct WithdrawCase {
  std::string name;
  std::function<void(FileManagerDesk&)> before;
  RegResult result;
  std::function<void(FileManagerDesk&)> check;
};
void PrintTo(const WithdrawCase& c, std::ostream* os) { *os << c.name; }

const linux_os::MenuEntry kImportEntry{kImportText, "/opt/Kartiva Tools/Mappix"};
const linux_os::MenuEntry kStoreEntry{kStoreText, "/opt/Kartiva Tools/Tresolo"};

class Withdrawal : public ::testing::TestWithParam<WithdrawCase> {};

TEST_P(Withdrawal, TakesDownOnlyWhatIsNoLongerWanted) {
  const WithdrawCase& c = GetParam();
  FileManagerDesk desk;
  ASSERT_EQ(desk.publisher.Publish({kImportEntry, kStoreEntry}), 0);
  c.before(desk);
  EXPECT_EQ(desk.publisher.Withdraw({kStoreEntry}), c.result) << desk.publisher.problem();
  c.check(desk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Withdrawal,
    ::testing::Values(
        WithdrawCase{"TheEntryThatStaysIsKeptInEveryFileManager", [](FileManagerDesk&) {}, 0,
                     [](FileManagerDesk& desk) {
                       for (const fs::path& folder :
                            {desk.places.nautilusScripts, desk.places.cajaScripts}) {
                         EXPECT_FALSE(fs::exists(folder / kImportText)) << folder;
                         EXPECT_TRUE(fs::exists(folder / kStoreText)) << folder;
                       }
                       EXPECT_EQ(std::distance(fs::directory_iterator(desk.places.nemoActions), {}),
                                 1);
                       const std::string dolphin =
                           ReadFile(desk.places.dolphinMenus / "kartiva-explorer-tools.desktop");
                       EXPECT_EQ(dolphin.find(kImportText), std::string::npos);
                       EXPECT_NE(dolphin.find(kStoreText), std::string::npos);
                       const std::string uca = ReadFile(desk.places.thunarActions);
                       EXPECT_EQ(Count(uca, "<action>"), 1u);
                       EXPECT_EQ(uca.find(kImportText), std::string::npos);
                     }},
        WithdrawCase{"TheEntryThatStaysIsNotWrittenAgain",
                     [](FileManagerDesk& desk) {
                       fs::remove(desk.places.nautilusScripts / kStoreText);
                       fs::remove(desk.places.cajaScripts / kStoreText);
                       ASSERT_EQ(::mkfifo((desk.places.cajaScripts / kStoreText).c_str(), 0600), 0);
                       Write(desk.places.thunarActions, kUserUca);
                     },
                     0,
                     [](FileManagerDesk& desk) {
                       EXPECT_FALSE(fs::exists(desk.places.nautilusScripts / kStoreText));
                       EXPECT_TRUE(fs::is_fifo(desk.places.cajaScripts / kStoreText));
                       EXPECT_EQ(ReadFile(desk.places.thunarActions), kUserUca);
                     }},
        WithdrawCase{"PlacesThatCannotHoldOursAreNoFailure",
                     [](FileManagerDesk& desk) {
                       fs::remove(desk.places.thunarActions);
                       fs::create_symlink("nowhere/uca.xml", desk.places.thunarActions);
                       fs::remove_all(desk.places.nemoActions);
                       ASSERT_EQ(::mkfifo(desk.places.nemoActions.c_str(), 0600), 0);
                     },
                     0,
                     [](FileManagerDesk& desk) {
                       EXPECT_TRUE(fs::is_symlink(desk.places.thunarActions));
                       EXPECT_TRUE(fs::is_fifo(desk.places.nemoActions));
                       EXPECT_FALSE(fs::exists(desk.places.nautilusScripts / kImportText));
                     }},
        WithdrawCase{
            "ThunarFileThatMayHoldOursAndCannotBeMergedIsReported",
            [](FileManagerDesk& desk) { Write(desk.places.thunarActions, "<actions><action>"); },
            1392,
            [](FileManagerDesk& desk) {
              EXPECT_EQ(ReadFile(desk.places.thunarActions), "<actions><action>");
              // The other file managers are brought down all the same.
              EXPECT_FALSE(fs::exists(desk.places.cajaScripts / kImportText));
            }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kartiva::testing
