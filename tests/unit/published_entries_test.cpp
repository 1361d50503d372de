// Which commands of the registry file become file-manager entries, and which program they start:
// never a relative path (it would run whatever lies in the file manager's current folder).

#include "platform/linux/file_manager/published_entries.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace kartiva::linux_os {
namespace {

TEST(PublishedEntries, StartOnlyAbsoluteProgramsOfTheConfiguratorsForm) {
  const struct {
    std::string command;
    std::optional<std::string> program;
  } cases[] = {
      {"/opt/k\\Mappix.exe %1", "/opt/k/Mappix"},
      {"\"/opt/Kartiva Tools\\Tresolo.EXE\" %1", "/opt/Kartiva Tools/Tresolo"},
      {"\"/opt/a \"b\\c\\Mappix.exe\" %1", "/opt/a \"b\\c/Mappix"},
      {"/usr/local/bin/import-tool %1", "/usr/local/bin/import-tool"},
      {"/opt/k\\.exe %1", "/opt/k\\.exe"},
      {"/opt/k\\Mappix.exe", std::nullopt},
      {"\"/opt/k\\Mappix.exe\" \"%1\"", std::nullopt},
      {"Mappix.exe %1", std::nullopt},
      {"C:\\Tools\\Mappix.exe %1", std::nullopt},
      {"\" %1", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CommandProgram(c.command), c.program) << c.command;
  }
}

TEST(PublishedEntries, AreTheVerbsWithACommand) {
  KeyTree tree;
  tree.SetDefaultValue({"*", "shell", "In KV5-Briefkorb importieren", "Command"},
                       "/k\\Mappix.exe %1");
  tree.SetDefaultValue({"*", "shell", "open", "command"}, "notepad.exe %1");
  tree.Create({"*", "shell", "empty", "command"});
  tree.SetDefaultValue({"*", "shell", "no command"}, "/bin/true %1");
  tree.SetDefaultValue({"Folder", "shell", "other", "command"}, "/bin/true %1");
  const std::vector<MenuEntry> entries = PublishedEntries(tree);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].menuText, "In KV5-Briefkorb importieren");
  EXPECT_EQ(entries[0].program, "/k/Mappix");
}

}  // namespace
}  // namespace kartiva::linux_os
