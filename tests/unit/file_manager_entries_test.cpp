// "Aktivieren" from program folders with awkward names, then what each file manager would run for
// the entries it finds: the scripts with their arguments or their selection variable, the Nemo,
// Dolphin and file-manager action Exec lines expanded by freedesktop.org's Desktop Entry rules,
// Thunar's command. Every run must start the program once per file, all files at once, with the
// file's absolute path as its only argument; an entry whose program has gone must say so.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"
#include "tests/unit/file_manager_desk.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

// The groups of a desktop or Nemo action file, each as its keys and raw values.
std::map<std::string, std::map<std::string, std::string>> Groups(const fs::path& file) {
  std::map<std::string, std::map<std::string, std::string>> groups;
  std::string group;
  for (const std::string& line : ReadLines(file)) {
    if (line.starts_with('[')) group = line.substr(1, line.size() - 2);
    const std::size_t equals = line.find('=');
    if (!line.starts_with('#') && equals != std::string::npos) {
      groups[group][line.substr(0, equals)] = line.substr(equals + 1);
    }
  }
  return groups;
}

// A string value with its escapes (\s \n \t \r \\) resolved.
std::string Unescape(const std::string& value) {
  const std::map<char, char> escapes{
      {'s', ' '}, {'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'\\', '\\'}};
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && escapes.count(value[i + 1])) {
      text += escapes.at(value[++i]);
    } else {
      text += value[i];
    }
  }
  return text;
}

// The program and arguments of an Exec line (already unescaped): arguments split at blanks
// outside double quotes; inside, a backslash before " ` $ or \ stands for that character; %F
// alone is every file, %f the first, %% a percent sign.
std::vector<std::string> Expand(const std::string& exec, const std::vector<std::string>& files) {
  std::vector<std::string> arguments;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  bool wasQuoted = false;
  const auto finish = [&] {
    if (!wasQuoted && word == "%F") {
      arguments.insert(arguments.end(), files.begin(), files.end());
    } else if (!wasQuoted && word == "%f") {
      arguments.push_back(files.front());
    } else {
      std::string plain;
      for (std::size_t i = 0; i < word.size(); ++i) {
        plain += word[i];
        if (word[i] == '%' && i + 1 < word.size() && word[i + 1] == '%') ++i;
      }
      arguments.push_back(plain);
    }
    word.clear();
    inWord = wasQuoted = false;
  };
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted && c == '\\' && i + 1 < exec.size() &&
        std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
      word += exec[++i];
    } else if (c == '"') {
      quoted = !quoted;
      inWord = wasQuoted = true;
    } else if (c == ' ' && !quoted) {
      if (inWord) finish();
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) finish();
  return arguments;
}

std::string XmlUnescape(std::string text) {
  const std::pair<std::string, std::string> entities[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&#13;", "\r"}, {"&amp;", "&"}};
  for (const auto& [entity, c] : entities) {
    for (std::size_t at = text.find(entity); at != std::string::npos;
         at = text.find(entity, at + 1)) {
      text.replace(at, entity.size(), c);
    }
  }
  return text;
}

// Thunar's command of the action named `name`.
std::string ThunarCommand(const std::string& uca, const std::string& name) {
  const std::size_t action = uca.find("<name>" + name + "</name>");
  const std::size_t begin = uca.find("<command>", action) + 9;
  return XmlUnescape(uca.substr(begin, uca.find("</command>", begin) - begin));
}

// A fake program that logs its name, its argument count, whether the other instances of the run
// started while it waited for them, and its argument (line breaks as ~).
const std::string kFakeProgram =
    "#!/bin/sh\n"
    ": >\"$CALLS.$$\"\n"
    "met=alone\n"
    "for wait in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do\n"
    "  started=0\n"
    "  for file in \"$CALLS\".*; do [ -e \"$file\" ] && started=$((started + 1)); done\n"
    "  if [ \"$started\" -ge \"$TOGETHER\" ]; then met=together; break; fi\n"
    "  sleep 0.1\n"
    "done\n"
    "argument=$(printf '%s' \"$1\" | tr '\\n' '~')\n"
    "printf '%s %s %s [%s]\\n' \"${0##*/}\" \"$#\" \"$met\" \"$argument\" >>\"$CALLS\"\n";

class FileManagerEntries : public ::testing::Test {
 protected:
  // Runs argv in `folder` with the environment on top, for `together` files; what the fake
  // programs logged since, sorted, as the instances run at once.
  std::vector<std::string> Run(const fs::path& folder, std::vector<std::string> argv,
                               std::map<std::string, std::string> environment = {},
                               std::size_t together = 2) {
    environment["TOGETHER"] = std::to_string(together);
    const ProcessResult result = RunIn(folder, std::move(argv), std::move(environment));
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    std::vector<std::string> calls =
        fs::exists(calls_) ? ReadLines(calls_) : std::vector<std::string>{};
    std::sort(calls.begin(), calls.end());
    for (const fs::directory_entry& file : fs::directory_iterator(desk_.temp.path())) {
      if (file.path().filename().string().starts_with("calls")) fs::remove(file.path());
    }
    return calls;
  }

  ProcessResult RunIn(const fs::path& folder, std::vector<std::string> argv,
                      std::map<std::string, std::string> environment) {
    argv.insert(argv.begin(), {"-c", "cd \"$0\" && exec \"$@\"", folder.string()});
    environment["CALLS"] = calls_.string();
    return RunProcess(
        {.program = "/bin/sh", .arguments = argv, .environment = environment, .input = ""},
        desk_.temp.path());
  }

  // Writes the fake Mappix and Tresolo into `folder`.
  static void WritePrograms(const fs::path& folder) {
    fs::create_directories(folder);
    for (const char* program : {"Mappix", "Tresolo"}) {
      WriteFile(folder / program, kFakeProgram);
      fs::permissions(folder / program, fs::perms::owner_all);
    }
  }

  FileManagerDesk desk_;
  fs::path calls_ = desk_.temp.path() / "calls";
};

TEST_F(FileManagerEntries, StartTheProgramOncePerFileFromAnyFolder) {
  const std::string folderNames[] = {
      "Kartiva Tools",    "it's \"quoted\"", "$HOME `id` $(id) ~",
      "100% %f %F %%",    "back\\slash\\",   "Jürgen Müller – Ablage",
      "line\nbreak\ttab", " leading blank",  "semi;colon & pipe|<angle>#",
  };
  const fs::path files = desk_.temp.path() / "my files";
  const std::vector<std::string> chosen{(files / "offer 1.txt").string(),
                                        (files / "b\"$c.txt").string()};
  const auto logged = [](const std::string& program, const std::vector<std::string>& paths) {
    std::vector<std::string> lines;
    for (const std::string& path : paths) lines.push_back(program + " 1 together [" + path + "]");
    std::sort(lines.begin(), lines.end());
    return lines;
  };
  const std::vector<std::string> imported = logged("Mappix", chosen);
  const std::vector<std::string> stored = logged("Tresolo", chosen);
  fs::create_directories(files);
  for (const std::string& file : chosen) WriteFile(file, file);
  fs::create_directories(desk_.places.nautilusScripts);
  WriteFile(desk_.places.nautilusScripts / "Meine Aktion", "#!/bin/sh\n");

  for (const std::string& name : folderNames) {
    SCOPED_TRACE("folder \"" + name + "\"");
    const fs::path folder = desk_.temp.path() / "programs" / name;
    WritePrograms(folder);
    ASSERT_EQ(desk_.Click(true, folder.string()).size(), 1u);
    ASSERT_EQ(desk_.publisher.problem(), "");

    // GNOME Files passes names in the current folder or paths; Caja here only its variable.
    EXPECT_EQ(Run(files, {(desk_.places.nautilusScripts / kImportText).string(), "offer 1.txt",
                          chosen[1]}),
              imported);
    EXPECT_EQ(Run(files, {(desk_.places.cajaScripts / kStoreText).string()},
                  {{"CAJA_SCRIPT_SELECTED_FILE_PATHS", chosen[0] + "\n" + chosen[1] + "\n"}}),
              stored);

    for (const auto& [group, keys] :
         Groups(desk_.places.dolphinMenus / "kartiva-explorer-tools.desktop")) {
      if (!group.starts_with("Desktop Action")) continue;
      const std::string name = Unescape(keys.at("Name"));
      EXPECT_EQ(Run(files, Expand(Unescape(keys.at("Exec")), chosen)),
                name == kImportText ? imported : stored)
          << name;
    }
    std::size_t nemoActions = 0;
    for (const fs::directory_entry& file : fs::directory_iterator(desk_.places.nemoActions)) {
      const auto keys = Groups(file.path()).at("Nemo Action");
      const std::string name = Unescape(keys.at("Name"));
      EXPECT_EQ(Run(files, Expand(Unescape(keys.at("Exec")), chosen)),
                name == kImportText ? imported : stored)
          << name;
      ++nemoActions;
    }
    EXPECT_EQ(nemoActions, 2u);
    std::size_t fileManagerActions = 0;
    for (const fs::directory_entry& file :
         fs::directory_iterator(desk_.places.fileManagerActions)) {
      const auto groups = Groups(file.path());
      EXPECT_EQ(groups.at("Desktop Entry").at("Type"), "Action");
      const auto& profile = groups.at("X-Action-Profile kartiva");
      const std::string name = Unescape(groups.at("Desktop Entry").at("Name"));
      EXPECT_EQ(Run(files, Expand(Unescape(profile.at("Exec")), chosen)),
                name == kImportText ? imported : stored)
          << name;
      ++fileManagerActions;
    }
    EXPECT_EQ(fileManagerActions, 2u);
    const std::string uca = ReadFile(desk_.places.thunarActions);
    EXPECT_EQ(Run(files, Expand(ThunarCommand(uca, kImportText), chosen)), imported);

    if (::access("/usr/bin/desktop-file-validate", X_OK) == 0) {
      const ProcessResult valid = RunProcess(
          {.program = "/usr/bin/desktop-file-validate",
           .arguments = {(desk_.places.dolphinMenus / "kartiva-explorer-tools.desktop").string()},
           .environment = {},
           .input = ""},
          desk_.temp.path());
      EXPECT_EQ(valid.exitStatus, 0) << valid.output << valid.errors;
    }
  }

  // One entry per file manager after all those runs; Deaktivieren leaves only the user's own.
  const auto count = [](const fs::path& folder) {
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  };
  EXPECT_EQ(count(desk_.places.nautilusScripts), 3);
  EXPECT_EQ(count(desk_.places.nemoActions), 2);
  const std::string uca = ReadFile(desk_.places.thunarActions);
  EXPECT_EQ(uca.find("kartiva-explorer-tools-", uca.find("kartiva-explorer-tools-") + 1),
            uca.rfind("kartiva-explorer-tools-"));
  desk_.Click(false, "/anywhere");
  for (const fs::path& folder : {desk_.places.cajaScripts, desk_.places.nemoActions,
                                 desk_.places.dolphinMenus, desk_.places.fileManagerActions}) {
    EXPECT_TRUE(fs::is_empty(folder)) << folder;
  }
  EXPECT_EQ(fs::directory_iterator(desk_.places.nautilusScripts)->path().filename(),
            "Meine Aktion");
  // Menorix made uca.xml, and no empty one is left behind.
  EXPECT_FALSE(fs::exists(desk_.places.thunarActions));
}

// GNOME Files and Caja garble % in their arguments ("Rabatt 20%.txt" arrives as "Rabatt 20txt"):
// their selection variable serves whenever it is set, also where a name holds a line break, and
// nothing else than what it names is ever imported: the unselected decoys "line", "break.txt",
// "report.pdf", "salary.xlsx" and "Rabatt 20txt" lie beside the selected files.
TEST_F(FileManagerEntries, ScriptsTakeTheSelectionFromWhereItIsIntact) {
  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    std::optional<std::string> selection;  // the variable's value; unset when none
    std::vector<std::string> imported;     // file names in the folder
  };
  const fs::path files = desk_.temp.path() / "scans";
  const auto path = [&](const std::string& name) { return (files / name).string(); };
  const Case cases[] = {
      {"VariableOverGarbledArguments",
       {"Rabatt 20txt", "a.txt"},
       path("Rabatt 20%.txt") + "\n" + path("a.txt") + "\n",
       {"Rabatt 20%.txt", "a.txt"}},
      {"ArgumentsWithoutVariable",
       {"Rabatt 20txt", path("a.txt")},
       std::nullopt,
       {"Rabatt 20txt", "a.txt"}},
      {"ArgumentsWithEmptyVariable", {"a.txt"}, "", {"a.txt"}},
      {"ANameWithALineBreak",
       {"line\nbreak.txt"},
       path("line\nbreak.txt") + "\n",
       {"line\nbreak.txt"}},
      {"ANameWithALineBreakAmongGarbledArguments",
       {"Rabatt 20txt", "report.pdf\nsalary.xlsx", "a.txt"},
       path("Rabatt 20%.txt") + "\n" + path("report.pdf\nsalary.xlsx") + "\n" + path("a.txt") +
           "\n",
       {"Rabatt 20%.txt", "report.pdf\nsalary.xlsx", "a.txt"}},
      {"ANameEndingInALineBreak", {"a.txt\n"}, path("a.txt\n") + "\n", {"a.txt\n"}},
      {"AFileThatIsGoneIsHandedOnToBeReported",
       {"a.txt"},
       path("gone.txt") + "\n" + path("a.txt"),
       {"a.txt", "gone.txt"}},
      {"VariableAlone",
       {},
       path("a.txt") + "\n" + path("Rabatt 20%.txt"),
       {"Rabatt 20%.txt", "a.txt"}},
      {"PatternInAName", {}, path("*.txt") + "\n", {"*.txt"}},
  };
  fs::create_directories(files);
  for (const char* name :
       {"Rabatt 20%.txt", "Rabatt 20txt", "a.txt", "a.txt\n", "line\nbreak.txt", "line",
        "break.txt", "report.pdf\nsalary.xlsx", "report.pdf", "salary.xlsx", "*.txt"}) {
    WriteFile(files / name, name);
  }
  const fs::path folder = desk_.temp.path() / "programs";
  WritePrograms(folder);
  ASSERT_EQ(desk_.Click(true, folder.string()).size(), 1u);

  for (const Case& c : cases) {
    std::vector<std::string> expected;
    for (std::string name : c.imported) {
      std::replace(name.begin(), name.end(), '\n', '~');
      expected.push_back("Mappix 1 together [" + path(name) + "]");
    }
    std::sort(expected.begin(), expected.end());
    for (const auto& [script, variable] :
         {std::pair{desk_.places.nautilusScripts, "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS"},
          std::pair{desk_.places.cajaScripts, "CAJA_SCRIPT_SELECTED_FILE_PATHS"}}) {
      SCOPED_TRACE(c.name + " in " + script.string());
      std::map<std::string, std::string> environment;
      if (c.selection) environment[variable] = *c.selection;
      std::vector<std::string> argv{(script / kImportText).string()};
      argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
      EXPECT_EQ(Run(files, argv, environment, c.imported.size()), expected);
    }
  }
}

// After the programs have gone (uninstalled, a folder moved), every entry says so on stderr with
// the command that removes it, starts nothing, and ends with status 1; that command removes just
// its own file.
TEST_F(FileManagerEntries, EntryWhoseProgramHasGoneSaysHowToRemoveIt) {
  struct Case {
    std::string name;
    std::function<void(const fs::path& program)> takeAway;
  };
  const Case cases[] = {
      {"Removed", [](const fs::path& program) { fs::remove(program); }},
      {"NotExecutable",
       [](const fs::path& program) { fs::permissions(program, fs::perms::owner_read); }},
      {"AFolderInItsPlace",
       [](const fs::path& program) {
         fs::remove(program);
         fs::create_directory(program);
       }},
  };
  const std::map<std::string, std::string> noDisplay{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
  const fs::path file = desk_.temp.path() / "offer.txt";
  WriteFile(file, "offer");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = desk_.temp.path() / c.name / "it's $HOME";
    WritePrograms(folder);
    ASSERT_EQ(desk_.Click(true, folder.string()).size(), 1u);
    c.takeAway(folder / "Mappix");
    const std::string gone = "Kartiva Explorer tools are no longer installed (cannot run " +
                             (folder / "Mappix").string() + ");\nremove this entry with: ";

    const auto expectTold = [&](const std::vector<std::string>& argv, const std::string& removal) {
      const ProcessResult result = RunIn(desk_.temp.path(), argv, noDisplay);
      EXPECT_EQ(result.exitStatus, 1);
      EXPECT_EQ(result.errors, gone + removal + "\n");
      EXPECT_FALSE(fs::exists(calls_));
      return removal;
    };
    const auto removalOf = [](const fs::path& entry) { return "rm '" + entry.string() + "'"; };
    std::vector<std::string> removals;
    for (const fs::path& script :
         {desk_.places.nautilusScripts / kImportText, desk_.places.cajaScripts / kImportText}) {
      removals.push_back(expectTold({script.string(), file.string()}, removalOf(script)));
    }
    const fs::path nemo = desk_.places.nemoActions / linux_os::NemoActionFileName(kImportText);
    removals.push_back(
        expectTold(Expand(Unescape(Groups(nemo).at("Nemo Action").at("Exec")), {file.string()}),
                   removalOf(nemo)));
    const fs::path action =
        desk_.places.fileManagerActions / linux_os::FileManagerActionFileName(kImportText);
    removals.push_back(expectTold(
        Expand(Unescape(Groups(action).at("X-Action-Profile kartiva").at("Exec")), {file.string()}),
        removalOf(action)));
    const fs::path dolphin = desk_.places.dolphinMenus / "kartiva-explorer-tools.desktop";
    for (const auto& [group, keys] : Groups(dolphin)) {
      if (group.starts_with("Desktop Action") && Unescape(keys.at("Name")) == kImportText) {
        removals.push_back(
            expectTold(Expand(Unescape(keys.at("Exec")), {file.string()}), removalOf(dolphin)));
      }
    }
    EXPECT_EQ(removals.size(), 5u);
    expectTold(
        Expand(ThunarCommand(ReadFile(desk_.places.thunarActions), kImportText), {file.string()}),
        "Thunar's Edit > Configure custom actions");

    // The commands as the user would paste them into a shell.
    for (const std::string& removal : removals) {
      ASSERT_EQ(RunIn(desk_.temp.path(), {"sh", "-c", removal}, {}).exitStatus, 0) << removal;
    }
    EXPECT_FALSE(fs::exists(desk_.places.nautilusScripts / kImportText));
    EXPECT_TRUE(fs::exists(desk_.places.nautilusScripts / kStoreText));
    EXPECT_EQ(std::distance(fs::directory_iterator(desk_.places.nemoActions), {}), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(desk_.places.fileManagerActions), {}), 1);
    EXPECT_EQ(ReadFile(file), "offer");
  }
}

}  // namespace
}  // namespace kartiva::testing
