// The configurator's two actions against in-memory registries for the machine's and the user's
// classes: the keys and values they leave, the boxes they show, and that every key they open is
// closed again.

#include "menorix/context_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "menorix/key_tree.h"
#include "tests/support/fakes.h"
#include "tests/support/memory_registry.h"
#include "tests/support/registration_boxes.h"

namespace kartiva::testing {
namespace {

const std::string kImportText = "In KV5-Briefkorb importieren";
const std::string kImport = "*\\shell\\" + kImportText;
const std::string kStore = "*\\shell\\In KV5-Archiv ablegen";
const std::string kOpenVerb = "*\\shell\\open\\command";

// Every key of the tree in order, as `path` or `path = "value"`, each followed by its named values
// as `path [name] = "value"`.
void Dump(const KeyTree::Key& key, const std::string& path, std::vector<std::string>& lines) {
  for (const KeyTree::Key& sub : key.subKeys) {
    const std::string subPath = path.empty() ? sub.name : path + "\\" + sub.name;
    lines.push_back(sub.value ? subPath + " = \"" + *sub.value + "\"" : subPath);
    for (const KeyTree::NamedValue& named : sub.values) {
      lines.push_back(subPath + " [" + named.name + "] = \"" + named.value + "\"");
    }
    Dump(sub, subPath, lines);
  }
}
std::vector<std::string> Dump(const KeyTree& tree) {
  std::vector<std::string> lines;
  Dump(tree.root(), "", lines);
  return lines;
}

// The memory registry behind a registry whose calls fail as scripted ("Create <path>",
// "Set <path>" for the default value, "Set <path> [<name>]", "Open <path>"), or that refuses every
// change as the machine's classes refuse a plain user, and which remembers the most keys that
// were open at once.
class ScriptedRegistry : public Registry {
 public:
  MemoryRegistry memory;
  std::map<std::string, RegResult> failures;
  bool refusesChanges = false;
  std::size_t mostOpen = 0;

 private:
  [[nodiscard]] RegResult Scripted(const std::string& call) const {
    const auto it = failures.find(call);
    if (it != failures.end()) return it->second;
    return refusesChanges && call.rfind("Open ", 0) != 0 ? kErrorAccessDenied : kErrorSuccess;
  }
  [[nodiscard]] RegResult DoCreateKey(std::string_view path) override {
    if (RegResult code = Scripted("Create " + std::string(path))) return code;
    return memory.CreateKey(path);
  }
  [[nodiscard]] RegResult DoSetValue(std::string_view path, std::string_view name,
                                     std::string_view value) override {
    const std::string named = name.empty() ? "" : " [" + std::string(name) + "]";
    if (RegResult code = Scripted("Set " + std::string(path) + named)) return code;
    return memory.SetValue(path, name, value);
  }
  [[nodiscard]] RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override {
    if (RegResult code = Scripted("Open " + std::string(path))) return code;
    RegistryKey key;
    if (RegResult code = memory.OpenKey(path, key)) return code;
    // Opening a key for changing it is refused only when it is there.
    if (refusesChanges) return kErrorAccessDenied;
    handle = next_++;
    keys_.emplace(handle, std::move(key));
    mostOpen = std::max(mostOpen, keys_.size());
    return kErrorSuccess;
  }
  [[nodiscard]] RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override {
    return memory.DeleteSubKey(keys_.at(handle), name);
  }
  [[nodiscard]] RegResult DoCloseKey(std::uintptr_t handle) noexcept override {
    return keys_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
  }

  std::map<std::uintptr_t, RegistryKey> keys_;
  std::uintptr_t next_ = 1;
};

using Setup = std::vector<std::pair<std::string, std::optional<std::string>>>;
enum class Action { Append, Remove, DeleteImportEntry };

// The classes root is the machine's classes here: what a user sees who has no classes of their own.
struct Case {
  std::string name;
  Action action;
  Setup setup{};                                // the machine's keys (and values) before the action
  std::map<std::string, RegResult> failures{};  // calls on the machine's classes that fail
  std::vector<std::string> keys{};              // the machine's whole classes afterwards
  std::vector<MsgBoxRequest> boxes{};
  std::optional<std::string> deleted{};  // what Delete_ContextItem returned: a code, or "absent"
  std::string folder = "C:\\Tools";      // does not exist here: the programs are never looked for
  bool machineRefuses = false;           // every change of the machine's classes is refused
  Setup userSetup{};                     // the user's own classes before the action
  std::map<std::string, RegResult> userFailures{};
  std::vector<std::string> userKeys{};  // and afterwards
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void Fill(ScriptedRegistry& registry, const Setup& setup) {
  for (const auto& [path, value] : setup) {
    ASSERT_EQ(
        value ? registry.memory.SetDefaultValue(path, *value) : registry.memory.CreateKey(path), 0);
  }
}

class Registration : public ::testing::TestWithParam<Case> {};

TEST_P(Registration, LeavesTheKeysShowsTheBoxesAndEnds) {
  const Case& c = GetParam();
  Rig rig("", "Menorix");
  rig.facts.folder = [&c] { return c.folder; };
  ScriptedRegistry machine;
  ScriptedRegistry user;
  Fill(machine, c.setup);
  Fill(user, c.userSetup);
  machine.failures = c.failures;
  machine.refusesChanges = c.machineRefuses;
  user.failures = c.userFailures;
  std::optional<std::size_t> boxesAtEnd;
  ContextMenu menu({machine, user, machine}, rig.runtime,
                   [&] { boxesAtEnd = rig.ui.boxes.size(); });

  std::optional<std::string> deleted;
  EXPECT_EQ(RunToEnd([&] {
              if (c.action == Action::Append) menu.cmdAppend_Click();
              if (c.action == Action::Remove) menu.cmdDelete_Click();
              if (c.action == Action::DeleteImportEntry) {
                const std::optional<RegResult> result = Delete_ContextItem(machine, kImportText);
                deleted = result ? HexCode(*result) : "absent";
              }
            }),
            "returned");
  EXPECT_EQ(Dump(machine.memory.tree()), c.keys);
  EXPECT_EQ(Dump(user.memory.tree()), c.userKeys);
  EXPECT_EQ(rig.ui.boxes, c.boxes);
  // A script sees the failure in the exit status: each critical box here reports one.
  EXPECT_EQ(rig.runtime.failureShown,
            std::any_of(c.boxes.begin(), c.boxes.end(),
                        [](const MsgBoxRequest& box) { return box.icon == Icon::Critical; }));
  EXPECT_EQ(deleted, c.deleted);
  // The program ends through cmdEnde_Click, after the box.
  EXPECT_EQ(boxesAtEnd,
            c.boxes.empty() ? std::nullopt : std::optional<std::size_t>(c.boxes.size()));
  // Every key was closed again, and none was opened before the one before it was closed.
  for (const ScriptedRegistry* registry : {&machine, &user}) {
    EXPECT_EQ(registry->memory.OpenKeyCount(), 0u);
    EXPECT_LE(registry->mostOpen, 1u);
  }
}

const std::string kImportCommand = kImport + "\\command";
const std::string kToolsStore = kStore + "\\command = \"C:\\Tools\\Tresolo.exe %1\"";
const Setup::value_type kStoreEntry{kStore + "\\command", "C:\\Tools\\Tresolo.exe %1"};
const Setup::value_type kOpenEntry{kOpenVerb, "notepad.exe %1"};
const std::vector<std::string> kShell{"*", "*\\shell"};
const std::vector<std::string> kOpenLines{"*\\shell\\open", kOpenVerb + " = \"notepad.exe %1\""};

// The lines of an entry key written in full for `program`, the program's path as the entry
// names it; `command` is the name of its command key.
std::vector<std::string> Entry(const std::string& key, const std::string& program,
                               const std::string& command = "command") {
  return {key, key + " [Icon] = \"" + program + "\"", key + " [MultiSelectModel] = \"Player\"",
          key + "\\" + command + " = \"" + program + " %1\""};
}
const std::vector<std::string> kToolsImportEntry = Entry(kImport, "C:\\Tools\\Mappix.exe");
const std::vector<std::string> kToolsStoreEntry = Entry(kStore, "C:\\Tools\\Tresolo.exe");

std::vector<std::string> Lines(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const std::vector<std::string>& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}
// The store entry and another verb, with `keys` between them.
std::vector<std::string> Others(const std::vector<std::string>& keys = {}) {
  return Lines({kShell, {kStore, kToolsStore}, keys, kOpenLines});
}
const std::vector<std::string> kBothEntries = Lines({kShell, kToolsStoreEntry, kToolsImportEntry});

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Registration, ::testing::ValuesIn(std::vector<Case>{
    {"AppendWritesTheCommandsForTheProgramFolder", Action::Append, {}, {}, kBothEntries, {Added()}},
    {"AppendQuotesAProgramPathWithBlanks", Action::Append, {}, {},
     Lines({kShell, Entry(kStore, "\"C:\\Program Files\\Tresolo.exe\""),
            Entry(kImport, "\"C:\\Program Files\\Mappix.exe\"")}),
     {Added()}, {}, "C:\\Program Files"},
    {"AppendAgainRewritesTheCommandsInPlace", Action::Append,
     {{"*\\SHELL\\in kv5-briefkorb importieren\\COMMAND", "D:\\Old\\Mappix.exe %1"},
      {kStore + "\\command", "D:\\Old\\Tresolo.exe %1"}, kOpenEntry}, {},
     Lines({{"*", "*\\SHELL"},
            Entry("*\\SHELL\\In KV5-Archiv ablegen", "C:\\Tools\\Tresolo.exe"),
            Entry("*\\SHELL\\in kv5-briefkorb importieren", "C:\\Tools\\Mappix.exe", "COMMAND"),
            {"*\\SHELL\\open", "*\\SHELL\\open\\command = \"notepad.exe %1\""}}),
     {Added()}},
    {"AppendReportsAFailedCreateAndWritesNothingMore", Action::Append, {},
     {{"Create " + kImportCommand, kErrorDiskFull}}, {}, {NotAdded("70")}},
    {"AppendReportsAFailedSetOfTheSecondEntryAndTakesBothBack", Action::Append, {},
     {{"Set " + kStore + "\\command", -1}}, kShell, {NotAdded("FFFFFFFF")}},
    {.name = "AppendTakesBackOnlyWhatWasNotThereBefore", .action = Action::Append,
     .setup = {kStoreEntry}, .failures = {{"Set " + kStore + "\\command", -1}},
     .keys = Lines({kShell, {kStore, kToolsStore}}),
     .boxes = {NotAdded("FFFFFFFF")}},

    {.name = "AppendFallsBackToTheUsersClassesWhenTheMachineRefuses", .action = Action::Append,
     .setup = {kOpenEntry}, .keys = Lines({kShell, kOpenLines}), .boxes = {Added()},
     .machineRefuses = true, .userKeys = kBothEntries},
    {.name = "AppendTakesBackWhatTheMachineTookBeforeItRefused", .action = Action::Append,
     .failures = {{"Set " + kStore + " [Icon]", kErrorAccessDenied}}, .keys = kShell,
     .boxes = {Added()}, .userKeys = kBothEntries},
    {.name = "AppendLeavesAMachineEntryThatWasThereBefore", .action = Action::Append,
     .setup = {kStoreEntry}, .failures = {{"Set " + kImportCommand, kErrorAccessDenied}},
     .keys = Lines({kShell, {kStore, kToolsStore}}), .boxes = {Added()},
     .userKeys = kBothEntries},
    {.name = "AppendReportsAMachineEntryThatCannotBeTakenBack", .action = Action::Append,
     .failures = {{"Set " + kImport + " [Icon]", kErrorAccessDenied},
                  {"Open " + kImport, kErrorAccessDenied}},
     .keys = Lines({kShell, {kImport, kImport + " [MultiSelectModel] = \"Player\"",
                             kImportCommand + " = \"C:\\Tools\\Mappix.exe %1\""}}),
     .boxes = {NotAdded("5")}},
    {.name = "AppendReportsTheUsersClassesRefusingToo", .action = Action::Append,
     .boxes = {NotAdded("3F7")}, .machineRefuses = true,
     .userFailures = {{"Create " + kImportCommand, kErrorRegistryCorrupt}}},

    {"RemoveTakesBothEntriesAndNoOtherVerb", Action::Remove,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {},
     Lines({kShell, kOpenLines}), {Removed()}},
    {"RemoveWithNothingThere", Action::Remove, {}, {}, {}, {Removed()}},
    {"RemoveGoesOnAfterAnEntryThatStaysAndReportsIt", Action::Remove,
     {{kImport + "\\extra", "y"}, kStoreEntry}, {},
     {"*", "*\\shell", kImport, kImport + "\\extra = \"y\""}, {NotRemoved("5")}},
    {"RemoveTakesEntriesLeftWithoutCommand", Action::Remove,
     {{kImport, std::nullopt}, {kStore, std::nullopt}, kOpenEntry}, {}, Lines({kShell, kOpenLines}),
     {Removed()}},
    {.name = "RemoveTakesTheEntriesFromTheUserAndFromTheMachine", .action = Action::Remove,
     .setup = {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, .keys = Lines({kShell, kOpenLines}),
     .boxes = {Removed()}, .userSetup = {{kImportCommand, "y"}, kStoreEntry}, .userKeys = kShell},
    {.name = "RemoveReportsMachineEntriesItMayNotTouchAndStillTakesTheUsers",
     .action = Action::Remove, .setup = {{kImportCommand, "x"}, kOpenEntry},
     .keys = Lines({kShell, {kImport, kImportCommand + " = \"x\""}, kOpenLines}),
     .boxes = {NotRemoved("5")}, .machineRefuses = true,
     .userSetup = {{kImportCommand, "y"}, kStoreEntry}, .userKeys = kShell},
    {.name = "RemoveFindsNothingWhereItMayNotChangeAnything", .action = Action::Remove,
     .setup = {kOpenEntry}, .keys = Lines({kShell, kOpenLines}), .boxes = {Removed()},
     .machineRefuses = true},

    {"DeleteWholeEntry", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {}, Others(), {}, "0"},
    {"DeleteCommandInOtherLetterCase", Action::DeleteImportEntry,
     {{kImport + "\\cOMMAND", "x"}, kStoreEntry, kOpenEntry}, {}, Others(), {}, "0"},
    {"DeleteLastEntryKeepsTheShellKey", Action::DeleteImportEntry, {{kImportCommand, "x"}}, {},
     kShell, {}, "0"},
    {"DeleteMissingEntry", Action::DeleteImportEntry, {kStoreEntry, kOpenEntry}, {}, Others(), {},
     "absent"},
    {"DeleteEntryWithoutCommand", Action::DeleteImportEntry,
     {{kImport, std::nullopt}, kStoreEntry, kOpenEntry}, {}, Others(), {}, "0"},
    {"DeleteEntryWithoutCommandButAFurtherSubKey", Action::DeleteImportEntry,
     {{kImport + "\\Commands", "y"}, kStoreEntry, kOpenEntry}, {},
     Others({kImport, kImport + "\\Commands = \"y\""}), {}, "5"},
    {"DeleteEntryWithAFurtherSubKey", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, {kImport + "\\extra", "y"}, kStoreEntry, kOpenEntry}, {},
     Others({kImport, kImport + "\\extra = \"y\""}), {}, "5"},
    {"DeleteWhenTheShellKeyCannotBeOpened", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {{"Open *\\shell", kErrorAccessDenied}},
     Others({kImport}), {}, "5"},
}), [](const auto& info) { return info.param.name; });
// clang-format on

// What an entry's command names comes back out of it as the configurator wrote it, quoted or not.
TEST(ContextMenuCommand, GivesBackTheFolderAndProgramItWasMadeOf) {
  for (const std::string_view folder : {"C:\\Tools", "C:\\Kartiva Tools", "/opt/k"}) {
    for (const ContextMenuEntry& entry : kContextMenuEntries) {
      const std::string command = CommandValue(folder, entry.programFile);
      const std::optional<std::string_view> path = CommandProgramPath(command);
      ASSERT_TRUE(path.has_value());
      EXPECT_EQ(*path, std::string(folder) + std::string(entry.programFile));
      const std::optional<ProgramPlace> place = SplitProgramPath(*path);
      ASSERT_TRUE(place.has_value());
      EXPECT_EQ(place->folder, folder);
      EXPECT_EQ("\\" + std::string(place->name) + ".exe", entry.programFile);
    }
  }
}

}  // namespace
}  // namespace kartiva::testing
