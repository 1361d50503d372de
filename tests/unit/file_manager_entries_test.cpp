// "Aktivieren" from program folders with awkward names, then what each file manager would run for
// the entries it finds: the scripts with their arguments or their selection variable, the Nemo and
// Dolphin Exec lines expanded by freedesktop.org's Desktop Entry rules, Thunar's command. Every run
// must start the program once per file with the file's absolute path as its only argument.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <map>
#include <string>
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

class FileManagerEntries : public ::testing::Test {
 protected:
  // Runs argv in `folder` with the environment on top; what the fake programs logged since.
  std::vector<std::string> Run(const fs::path& folder, std::vector<std::string> argv,
                               std::map<std::string, std::string> environment = {}) {
    argv.insert(argv.begin(), {"-c", "cd \"$0\" && exec \"$@\"", folder.string()});
    environment["CALLS"] = calls_.string();
    const ProcessResult result = RunProcess(
        {.program = "/bin/sh", .arguments = argv, .environment = environment, .input = ""},
        desk_.temp.path());
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    std::vector<std::string> calls =
        fs::exists(calls_) ? ReadLines(calls_) : std::vector<std::string>{};
    fs::remove(calls_);
    return calls;
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
    for (const std::string& path : paths) lines.push_back(program + " 1 [" + path + "]");
    return lines;
  };
  const std::vector<std::string> imported = logged("Mappix", chosen);
  const std::vector<std::string> stored = logged("Tresolo", chosen);
  fs::create_directories(files);
  fs::create_directories(desk_.places.nautilusScripts);
  WriteFile(desk_.places.nautilusScripts / "Meine Aktion", "#!/bin/sh\n");

  for (const std::string& name : folderNames) {
    SCOPED_TRACE("folder \"" + name + "\"");
    const fs::path folder = desk_.temp.path() / "programs" / name;
    fs::create_directories(folder);
    for (const char* program : {"Mappix", "Tresolo"}) {
      WriteFile(folder / program,
                "#!/bin/sh\nprintf '%s %s [%s]\\n' \"${0##*/}\" \"$#\" \"$1\" >>\"$CALLS\"\n");
      fs::permissions(folder / program, fs::perms::owner_all);
    }
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
  for (const fs::path& folder :
       {desk_.places.cajaScripts, desk_.places.nemoActions, desk_.places.dolphinMenus}) {
    EXPECT_TRUE(fs::is_empty(folder)) << folder;
  }
  EXPECT_EQ(fs::directory_iterator(desk_.places.nautilusScripts)->path().filename(),
            "Meine Aktion");
  EXPECT_EQ(ReadFile(desk_.places.thunarActions),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n");
}

}  // namespace
}  // namespace kartiva::testing
