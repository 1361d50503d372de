// The registry's key semantics, the same in memory and in the registry file, and the registry file
// itself: exact round trips, a damaged file left alone, and processes that change it at once.

#include "platform/linux/reg_file_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "menorix/context_menu.h"
#include "menorix/reg_text.h"
#include "menorix/tree_registry.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_registry.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;
using linux_os::RegFileRegistry;

// The tree that a registry file holds, read as an independent reader would.
KeyTree ReadRegText(const fs::path& file) {
  KeyTree tree;
  std::string problem;
  EXPECT_TRUE(ParseRegText(ReadFile(file), tree, problem)) << problem;
  return tree;
}

// Runs `work` in a child process, which never returns into the test.
pid_t Fork(const std::function<int()>& work) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int status = 99;
    try {
      status = work();
    } catch (...) {
    }
    ::_exit(status);
  }
  return pid;
}
int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class KeySemantics : public ::testing::TestWithParam<std::string> {
 protected:
  TempFolder temp_;
  std::unique_ptr<TreeRegistry> registry_ =
      GetParam() == "Memory"
          ? std::unique_ptr<TreeRegistry>(std::make_unique<MemoryRegistry>())
          : std::make_unique<RegFileRegistry>(temp_.path() / "registry" / "classes.reg");
};

TEST_P(KeySemantics, AsTheRegistrationReliesOnThem) {
  TreeRegistry& r = *registry_;
  {
    RegistryKey shell, entry, other;
    EXPECT_EQ(r.OpenKey("*\\shell", shell), kErrorFileNotFound);
    EXPECT_EQ(r.CreateKey("*\\shell\\Entry\\command"), kErrorSuccess);
    EXPECT_EQ(r.SetDefaultValue("*\\SHELL\\Other\\command", "x"), kErrorSuccess);  // creates it
    ASSERT_EQ(r.OpenKey("*\\Shell", shell), kErrorSuccess);
    ASSERT_EQ(r.OpenKey("*\\shell\\ENTRY", entry), kErrorSuccess);
    ASSERT_EQ(r.OpenKey("*\\shell\\other", other), kErrorSuccess);
    EXPECT_EQ(r.OpenKeyCount(), 3u);

    EXPECT_EQ(r.DeleteSubKey(shell, "Entry"), kErrorAccessDenied);  // it has a sub-key
    EXPECT_EQ(r.DeleteSubKey(entry, "missing"), kErrorFileNotFound);
    EXPECT_EQ(r.DeleteSubKey(entry, "COMMAND"), kErrorSuccess);
    EXPECT_EQ(r.DeleteSubKey(shell, "entry"), kErrorSuccess);
    EXPECT_EQ(r.DeleteSubKey(entry, "command"), kErrorKeyDeleted);  // deleted while open
    EXPECT_EQ(r.DeleteSubKey(shell, "a\\b"), kErrorBadPathname);
    EXPECT_EQ(other.Close(), kErrorSuccess);
    EXPECT_EQ(r.DeleteSubKey(other, "command"), kErrorInvalidHandle);
    EXPECT_EQ(r.OpenKeyCount(), 2u);
  }
  EXPECT_EQ(r.OpenKeyCount(), 0u);
  std::string tooDeep = "k";
  for (std::size_t depth = 1; depth <= kMaxKeyDepth; ++depth) tooDeep += "\\k";
  for (const std::string& path : {std::string("\\*"), std::string("*\\"), std::string("*\\\\shell"),
                                  std::string("*\\a\nb"), std::string("*\\a\x7F"), tooDeep}) {
    EXPECT_EQ(r.CreateKey(path), kErrorBadPathname) << path.substr(0, 20);
  }
  EXPECT_EQ(r.CreateKey(tooDeep.substr(2)), kErrorSuccess);  // as deep as a key may lie
}

INSTANTIATE_TEST_SUITE_P(Registries, KeySemantics, ::testing::Values("Memory", "RegFile"));

class RegFile : public ::testing::Test {
 protected:
  TempFolder temp_;
  fs::path file_ = temp_.path() / "config" / "kartiva" / "classes.reg";
};

TEST_F(RegFile, AwkwardNamesAndValuesComeBackExactly) {
  const std::vector<std::pair<std::string, std::string>> entries{
      {"plain", "C:\\Tools\\Mappix.exe %1"},
      {"quotes", "\"C:\\Program Files\\Mappix.exe\" \"%1\""},
      {"backslashes", "\\\\server\\share\\"},
      {"line breaks", "one\ntwo\r\nthree\n"},
      {"controls", std::string("nul\0tab\tbell\x07 del\x7F", 18)},
      {"umlauts", "Kontextmenü € \xFF not UTF-8"},
      {"empty", ""},
      {"escapes as text", "\\x41 \\n @=\"x\""},
      {"[brackets] ]", "]"},
      {" ; @=\"name\" ", ";"},
  };
  {
    RegFileRegistry writer(file_);
    for (const auto& [name, value] : entries) {
      ASSERT_EQ(writer.SetDefaultValue("k\\" + name, value), 0) << name;
      // The same texts as a named value's name and text, on one key.
      ASSERT_EQ(writer.SetValue("k", name, value), 0) << name;
    }
  }
  RegFileRegistry other(file_);  // loads and saves the whole file again
  ASSERT_EQ(other.CreateKey("later"), kErrorSuccess);
  const KeyTree tree = ReadRegText(file_);
  for (const auto& [name, value] : entries) {
    const KeyTree::Key* key = tree.Find(KeyPath{"k", name});
    ASSERT_NE(key, nullptr) << name;
    EXPECT_EQ(key->name, name);
    EXPECT_EQ(key->value, value) << name;
    const KeyTree::NamedValue* named = KeyTree::FindValue(*tree.Find("k"), name);
    ASSERT_NE(named, nullptr) << name;
    EXPECT_EQ(named->name, name);
    EXPECT_EQ(named->value, value) << name;
  }
  EXPECT_FALSE(tree.Find("k")->value.has_value());
  EXPECT_EQ(tree.Find("k")->values.size(), entries.size());
}

struct Damage {
  std::string name;
  std::string text;
  std::string line;  // where the problem is reported
};
void PrintTo(const Damage& d, std::ostream* os) { *os << d.name; }

class DamagedRegFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedRegFile, IsReportedAndNeverWrittenOver) {
  TempFolder temp;
  const fs::path file = temp.path() / "classes.reg";
  WriteFile(file, GetParam().text);
  RegFileRegistry regFile(file);
  RegistryKey key;
  EXPECT_EQ(regFile.OpenKey("*\\shell", key), kErrorRegistryCorrupt);
  EXPECT_NE(regFile.problem().find(file.string() + ": line " + GetParam().line + ": "),
            std::string::npos)
      << regFile.problem();

  Rig rig("", "Menorix");
  ContextMenu menu({regFile, regFile, regFile}, rig.runtime, [] {});
  menu.cmdAppend_Click();
  // The box names the file, the line and what is wrong with it.
  EXPECT_EQ(rig.ui.boxes, std::vector<MsgBoxRequest>{Box(
                              "Funktion konnte dem Kontextmenü nicht hinzugefügt werden: 3F7\n\n" +
                                  regFile.problem(),
                              "Menorix", Buttons::Ok, Icon::Critical)});
  EXPECT_EQ(ReadFile(file), GetParam().text);
}

const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\*\\shell]\n";
INSTANTIATE_TEST_SUITE_P(Cases, DamagedRegFile,
                         ::testing::ValuesIn(std::vector<Damage>{
                             {"OtherFirstLine", "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\*]\n", "1"},
                             {"UnterminatedValue", kHead + "@=\"C:\\\\Tools\n", "4"},
                             {"UnknownEscape", kHead + "\n@=\"a\\qb\"\n", "5"},
                             {"OtherRoot", kHead + "[HKEY_LOCAL_MACHINE\\Software]\n", "4"},
                             {"NamedValueOfOtherType", kHead + "\"Name\"=dword:00000001\n", "4"},
                             {"SecondNamedValue", kHead + "\"Name\"=\"a\"\n\"NAME\"=\"b\"\n", "5"},
                             {"EmptyValueName", kHead + "\"\"=\"a\"\n", "4"},
                             {"ValueNameWithoutValue", kHead + "\"Name\"\n", "4"},
                             {"NamedValueBeforeAnyKey",
                              "Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n", "2"},
                             {"Comment", kHead + "; kept by hand\n", "4"},
                             {"OtherType", kHead + "@=dword:00000001\n", "4"},
                             {"SecondValue", kHead + "@=\"a\"\n@=\"b\"\n", "5"},
                             {"HeaderWithoutBracket", kHead + "[HKEY_CLASSES_ROOT\\x\n", "4"},
                         }),
                         [](const auto& info) { return info.param.name; });

// A file standing where the registry file is expected, and what writing the entries must do with
// it.
struct HostileRegFile {
  std::string name;
  std::function<void(const fs::path& file)> make;  // puts it at `file`, in a folder of its own
  RegResult code;                                  // of the first write; its hex ends the box
  std::string problem;                             // part of problem(), "" when there is none
  std::string written;  // the file that then holds the entries, beside `file`; "" for none
  std::size_t keys;     // the keys in it then
  mode_t mode;          // its permissions then
};
void PrintTo(const HostileRegFile& h, std::ostream* os) { *os << h.name; }

std::string Keys(const std::string& prefix, int count, const std::string& separator) {
  std::string text;
  for (int i = count; i > 0; --i) text += prefix + std::to_string(i) + separator;
  return text;
}

// What `path` itself is: its type and permissions, its inode, and its content or link.
std::string Snapshot(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  std::string content = S_ISREG(info.st_mode)   ? ReadFile(path)
                        : S_ISLNK(info.st_mode) ? fs::read_symlink(path).string()
                                                : "";
  return std::to_string(info.st_mode) + " " + std::to_string(info.st_ino) + " " + content;
}

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

void Write(const fs::path& file, const std::string& text, mode_t mode) {
  WriteFile(file, text);
  fs::permissions(file, static_cast<fs::perms>(mode));
}

class HostileRegFiles : public ::testing::TestWithParam<HostileRegFile> {};

TEST_P(HostileRegFiles, AreReadInBoundedTimeAndNeverReplaced) {
  const HostileRegFile& c = GetParam();
  TempFolder temp;
  const fs::path file = temp.path() / "config" / "classes.reg";
  fs::create_directories(file.parent_path());
  c.make(file);
  const std::string before = Snapshot(file);

  char* reportText = nullptr;
  std::size_t reportSize = 0;
  std::FILE* report = ::open_memstream(&reportText, &reportSize);
  ASSERT_NE(report, nullptr);
  {
    RegFileRegistry regFile(file, report);
    Rig rig("", "Menorix");
    rig.facts.folder = [] { return std::string("/opt/kartiva"); };
    ContextMenu menu({regFile, regFile, regFile}, rig.runtime, [] {});
    menu.cmdAppend_Click();
    const std::string box =
        c.code == 0
            ? "Funktion wurde dem Kontextmenü hinzugefügt."
            : "Funktion konnte dem Kontextmenü nicht hinzugefügt werden: " + HexCode(c.code);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    // The box names the file and what is wrong with it after its code.
    const std::string& shown = rig.ui.boxes[0].text;
    EXPECT_EQ(shown.substr(0, shown.find("\n\n")), box);
    const std::size_t detail = shown.find("\n\n" + file.parent_path().string());
    EXPECT_EQ(detail != std::string::npos, !c.problem.empty()) << shown;
    if (!c.problem.empty()) {
      EXPECT_NE(shown.find(c.problem, detail), std::string::npos) << shown;
    }
  }
  std::fclose(report);
  const std::string reported(reportText, reportSize);
  std::free(reportText);
  EXPECT_EQ(reported.empty(), c.problem.empty()) << reported;

  const fs::path written = file.parent_path() / c.written;
  if (c.written != file.filename()) {
    EXPECT_EQ(Snapshot(file), before);
  }
  if (c.written.empty()) return;
  const KeyTree tree = ReadRegText(written);
  EXPECT_EQ(tree.keyCount(), c.keys);
  const KeyTree::Key* command = tree.Find("*\\shell\\In KV5-Briefkorb importieren\\command");
  ASSERT_NE(command, nullptr);
  EXPECT_EQ(command->value, "/opt/kartiva\\Mappix.exe %1");
  EXPECT_EQ(ModeOf(written), c.mode);
}

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
// Six keys: "*", "shell", the two entries and their commands.
constexpr std::size_t kEntryKeys = 6;
INSTANTIATE_TEST_SUITE_P(
    Cases, HostileRegFiles,
    ::testing::ValuesIn(std::vector<HostileRegFile>{
        {"HeaderNestedDeeperThanAllowed",
         [](const fs::path& f) {
           Write(f, kHeader + "[HKEY_CLASSES_ROOT" + Keys("\\k", 100000, "") + "]\n", 0600);
         },
         kErrorRegistryCorrupt, "line 3: a key 100000 levels deep; at most 512 are allowed", "", 0,
         0},
        {"HeaderNestedAsDeepAsAllowed",
         [](const fs::path& f) {
           Write(f, kHeader + "[HKEY_CLASSES_ROOT" + Keys("\\k", 512, "") + "]\n", 0600);
         },
         0, "", "classes.reg", 512 + kEntryKeys, 0600},
        {"ManyKeysInReverseOrder",
         [](const fs::path& f) {
           Write(f, kHeader + Keys("[HKEY_CLASSES_ROOT\\*\\shell\\k", 10000, "]\n@=\"v\"\n"), 0640);
         },
         0, "", "classes.reg", 10000 + kEntryKeys, 0600},
        {"MoreKeysThanAllowed",
         [](const fs::path& f) {
           Write(f, kHeader + Keys("[HKEY_CLASSES_ROOT\\k", kMaxRegKeys + 1, "]\n"), 0600);
         },
         kErrorRegistryCorrupt, "more than 100000 keys", "", 0, 0},
        {"LargerThanAllowed",
         [](const fs::path& f) { Write(f, kHeader + std::string(kMaxRegTextBytes, '\n'), 0600); },
         kErrorRegistryCorrupt, "larger than 8388608 bytes", "", 0, 0},
        {"LinkToARegistryFile",
         [](const fs::path& f) {
           fs::create_directory(f.parent_path() / "real");
           Write(f.parent_path() / "real" / "regFile.reg", kHeader + "[HKEY_CLASSES_ROOT\\mine]\n",
                 0644);
           fs::create_symlink("real/regFile.reg", f);
         },
         0, "", "real/regFile.reg", 1 + kEntryKeys, 0600},
        {"LinkToNothingYet",
         [](const fs::path& f) { fs::create_symlink(f.parent_path() / "new" / "regFile.reg", f); },
         0, "", "new/regFile.reg", kEntryKeys, 0600},
        {"LinkToADevice", [](const fs::path& f) { fs::create_symlink("/dev/null", f); },
         kErrorAccessDenied, "its link leads to /dev/null, which is not a regular file", "", 0, 0},
        {"LinksInALoop",
         [](const fs::path& f) {
           fs::create_symlink("other.reg", f);
           fs::create_symlink("classes.reg", f.parent_path() / "other.reg");
         },
         kErrorAccessDenied, "more than 40 symbolic links", "", 0, 0},
        {"Pipe", [](const fs::path& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
         kErrorAccessDenied, "not a regular file", "", 0, 0},
        {"Folder", [](const fs::path& f) { fs::create_directory(f); }, kErrorAccessDenied,
         "not a regular file", "", 0, 0},
        {"ReadOnly",
         [](const fs::path& f) { Write(f, kHeader + "[HKEY_CLASSES_ROOT\\mine]\n", 0444); },
         kErrorAccessDenied, "classes.reg: read-only, so left as it is", "", 0, 0},
    }),
    [](const auto& info) { return info.param.name; });

TEST_F(RegFile, ASecondProcessReadsTheEntriesAndRemovesThem) {
  const pid_t adder = Fork([&] {
    RegFileRegistry regFile(file_);
    Rig rig("", "Menorix");
    rig.facts.folder = [] { return std::string("C:\\Program Files\\Kartiva"); };
    ContextMenu menu({regFile, regFile, regFile}, rig.runtime, [] { End(); });
    return RunToEnd([&] { menu.cmdAppend_Click(); }) == "end" ? 0 : 1;
  });
  ASSERT_EQ(Wait(adder), 0);
  EXPECT_EQ(ReadFile(file_),
            "Windows Registry Editor Version 5.00\n"
            "\n[HKEY_CLASSES_ROOT\\*]\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell]\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell\\In KV5-Archiv ablegen]\n"
            "\"Icon\"=\"\\\"C:\\\\Program Files\\\\Kartiva\\\\Tresolo.exe\\\"\"\n"
            "\"MultiSelectModel\"=\"Player\"\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell\\In KV5-Archiv ablegen\\command]\n"
            "@=\"\\\"C:\\\\Program Files\\\\Kartiva\\\\Tresolo.exe\\\" %1\"\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell\\In KV5-Briefkorb importieren]\n"
            "\"Icon\"=\"\\\"C:\\\\Program Files\\\\Kartiva\\\\Mappix.exe\\\"\"\n"
            "\"MultiSelectModel\"=\"Player\"\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell\\In KV5-Briefkorb importieren\\command]\n"
            "@=\"\\\"C:\\\\Program Files\\\\Kartiva\\\\Mappix.exe\\\" %1\"\n");

  RegFileRegistry regFile(file_);
  Rig rig("", "Menorix");
  ContextMenu menu({regFile, regFile, regFile}, rig.runtime, [] { End(); });
  EXPECT_EQ(RunToEnd([&] { menu.cmdDelete_Click(); }), "end");
  EXPECT_EQ(ReadFile(file_),
            "Windows Registry Editor Version 5.00\n"
            "\n[HKEY_CLASSES_ROOT\\*]\n"
            "\n[HKEY_CLASSES_ROOT\\*\\shell]\n");
}

TEST_F(RegFile, ProcessesChangingItAtOnceLoseNoUpdate) {
  constexpr int kKeys = 40;
  std::vector<pid_t> children;
  for (const std::string process : {"a", "b", "c"}) {
    children.push_back(Fork([&] {
      RegFileRegistry regFile(file_);
      for (int i = 0; i < kKeys; ++i) {
        const std::string entry = process + std::to_string(i);
        if (regFile.SetDefaultValue("*\\shell\\" + entry + "\\command", entry) != 0) return 1;
        if (i % 2 == 0) continue;
        RegistryKey key;
        if (regFile.OpenKey("*\\shell\\" + entry, key) != 0 ||
            regFile.DeleteSubKey(key, "command") != 0)
          return 2;
        if (regFile.OpenKey("*\\shell", key) != 0 || regFile.DeleteSubKey(key, entry) != 0)
          return 3;
      }
      return 0;
    }));
  }
  for (pid_t child : children) EXPECT_EQ(Wait(child), 0);
  const KeyTree tree = ReadRegText(file_);
  ASSERT_NE(tree.Find("*\\shell"), nullptr);
  EXPECT_EQ(tree.Find("*\\shell")->subKeys.size(), 3u * kKeys / 2);
  for (const std::string process : {"a", "b", "c"}) {
    for (int i = 0; i < kKeys; i += 2) {
      const std::string entry = process + std::to_string(i);
      const KeyTree::Key* command = tree.Find("*\\shell\\" + entry + "\\command");
      ASSERT_NE(command, nullptr) << entry;
      EXPECT_EQ(command->value, entry);
    }
  }
}

}  // namespace
}  // namespace kartiva::testing
