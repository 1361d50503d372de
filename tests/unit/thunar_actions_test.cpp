// Merging the entries into Thunar's uca.xml: the user's own actions keep every byte, the entries
// written here are there exactly once, and a file that cannot be rewritten safely is refused.

#include "platform/linux/file_manager/thunar_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/file_manager/file_manager_entries.h"

namespace kartiva::linux_os {
namespace {

const std::string kUserAction =
    "<action>\n"
    "\t<icon>utilities-terminal</icon>\n"
    "\t<name>In KV5-Briefkorb importieren</name>\n"  // the user's own, of the same name
    "\t<unique-id>1431136020265634-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
    "\t<description>Example for a custom action</description>\n"
    "\t<patterns>*</patterns>\n"
    "\t<startup-notify/>\n"
    "\t<directories/>\n"
    "</action>\n";

std::vector<std::string> Ours(const std::string& folder) {
  return {ThunarAction({"In KV5-Briefkorb importieren", folder + "/Mappix"}),
          ThunarAction({"In KV5-Archiv ablegen", folder + "/Tresolo"})};
}

std::string Merge(const std::string& current, const std::vector<std::string>& actions) {
  std::string merged;
  std::string problem;
  EXPECT_TRUE(MergeThunarActions(current, actions, merged, problem)) << problem;
  return merged;
}

TEST(ThunarActions, KeepTheUsersActionsByteForByte) {
  const struct {
    std::string name;
    std::string file;
  } files[] = {
      {"as Thunar writes it",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + kUserAction + "</actions>\n"},
      {"markup that only looks like actions",
       "<?xml version='1.0'?>\n<!-- <action><unique-id>kartiva-explorer-tools-1</unique-id> -->\n"
       "<actions version=\"a>b\">\n" +
           kUserAction +
           "<action><command><![CDATA[echo '</action>' %f]]></command>"
           "<unique-id> 7-kartiva-explorer-tools-</unique-id></action>\n</actions>"},
      {"no line end before </actions>", "<actions>" + kUserAction + "<action/></actions >"},
      {"no actions yet", "<actions>\r\n</actions>\r\n"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string added = Merge(f.file, Ours("/opt/Kartiva Tools"));
    // Each entry once, after the user's part, which stays whole.
    EXPECT_EQ(added.find(kUserAction), f.file.find(kUserAction));
    for (const std::string& action : Ours("/opt/Kartiva Tools")) {
      EXPECT_EQ(added.find(action), added.rfind(action));
      EXPECT_NE(added.find(action), std::string::npos);
    }
    // Adding again changes nothing; adding from another folder replaces the old entries.
    EXPECT_EQ(Merge(added, Ours("/opt/Kartiva Tools")), added);
    EXPECT_EQ(Merge(added, Ours("/usr/lib/kartiva")), Merge(f.file, Ours("/usr/lib/kartiva")));
    // Removing gives back the user's file, apart from a line end added before </actions>.
    std::string removed = Merge(added, {});
    if (removed != f.file) removed.erase(removed.rfind("\n</actions"), 1);
    EXPECT_EQ(removed, f.file);
  }
}

TEST(ThunarActions, StartOrFillAnEmptyFile) {
  const std::string fresh = Merge("", Ours("/opt/k"));
  EXPECT_EQ(fresh, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + Ours("/opt/k")[0] +
                       Ours("/opt/k")[1] + "</actions>\n");
  EXPECT_EQ(Merge("", {}), "");
  // The file that was only ever ours goes with its last action.
  EXPECT_EQ(Merge(fresh, {}), "");
  EXPECT_EQ(Merge("<?xml version=\"1.0\"?>\n<actions/>\n", Ours("/opt/k")),
            "<?xml version=\"1.0\"?>\n<actions>\n" + Ours("/opt/k")[0] + Ours("/opt/k")[1] +
                "</actions>\n");
  EXPECT_EQ(Merge("<actions/>", {}), "<actions/>");
}

TEST(ThunarActions, RefuseWhatCannotBeRewrittenSafely) {
  const std::string refused[] = {
      "<actions><action></actions>",
      "<actions>\n" + kUserAction,
      "<menu>" + kUserAction + "</menu>",
      "<!DOCTYPE actions [<!ENTITY id \"kartiva-explorer-tools-1\">]><actions/>",
      "<actions></actions><actions></actions>",
      "<actions><!-- not closed </actions>",
      "<actions><action name=\"a></actions>",
      "</actions>",
      "plain text",
  };
  for (const std::string& file : refused) {
    SCOPED_TRACE(file);
    std::string merged;
    std::string problem;
    EXPECT_FALSE(MergeThunarActions(file, Ours("/opt/k"), merged, problem));
    EXPECT_FALSE(problem.empty());
  }
}

}  // namespace
}  // namespace kartiva::linux_os
