// The configurator's two actions against the in-memory registry: the keys and commands they leave,
// the boxes they show, and that every key they open is closed again.

#include "configurator/context_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "configurator/tree_registry.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {
namespace {

const std::string kImportText = "In KV5-Briefkorb importieren";
const std::string kImport = "*\\shell\\" + kImportText;
const std::string kStore = "*\\shell\\In KV5-Archiv ablegen";
const std::string kOpenVerb = "*\\shell\\open\\command";

// Every key of the tree in order, as `path` or `path = "value"`.
void Dump(const KeyTree::Key& key, const std::string& path, std::vector<std::string>& lines) {
  for (const KeyTree::Key& sub : key.subKeys) {
    const std::string subPath = path.empty() ? sub.name : path + "\\" + sub.name;
    lines.push_back(sub.value ? subPath + " = \"" + *sub.value + "\"" : subPath);
    Dump(sub, subPath, lines);
  }
}
std::vector<std::string> Dump(const KeyTree& tree) {
  std::vector<std::string> lines;
  Dump(tree.root(), "", lines);
  return lines;
}

// The memory registry behind a registry whose calls fail as scripted ("Create <path>",
// "Set <path>", "Open <path>"), and which remembers the most keys that were open at once.
class ScriptedRegistry : public Registry {
 public:
  MemoryRegistry memory;
  std::map<std::string, RegResult> failures;
  std::size_t mostOpen = 0;

 private:
  RegResult Scripted(const std::string& call) const {
    const auto it = failures.find(call);
    return it == failures.end() ? kErrorSuccess : it->second;
  }
  RegResult DoCreateKey(std::string_view path) override {
    if (RegResult code = Scripted("Create " + std::string(path))) return code;
    return memory.CreateKey(path);
  }
  RegResult DoSetDefaultValue(std::string_view path, std::string_view value) override {
    if (RegResult code = Scripted("Set " + std::string(path))) return code;
    return memory.SetDefaultValue(path, value);
  }
  RegResult DoOpenKey(std::string_view path, std::uintptr_t& handle) override {
    if (RegResult code = Scripted("Open " + std::string(path))) return code;
    RegistryKey key;
    if (RegResult code = memory.OpenKey(path, key)) return code;
    handle = next_++;
    keys_.emplace(handle, std::move(key));
    mostOpen = std::max(mostOpen, keys_.size());
    return kErrorSuccess;
  }
  RegResult DoDeleteSubKey(std::uintptr_t handle, std::string_view name) override {
    return memory.DeleteSubKey(keys_.at(handle), name);
  }
  RegResult DoCloseKey(std::uintptr_t handle) noexcept override {
    return keys_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
  }

  std::map<std::uintptr_t, RegistryKey> keys_;
  std::uintptr_t next_ = 1;
};

using Setup = std::vector<std::pair<std::string, std::optional<std::string>>>;
enum class Action { Append, Remove, DeleteImportEntry };

struct Case {
  std::string name;
  Action action;
  Setup setup;                                // keys (and values) there before the action
  std::map<std::string, RegResult> failures;  // calls that fail
  std::vector<std::string> keys;              // the whole registry afterwards
  std::vector<MsgBoxRequest> boxes{};
  std::optional<bool> deleted{};     // what Delete_ContextItem returned
  std::string folder = "C:\\Tools";  // does not exist here: the programs are never looked for
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Registration : public ::testing::TestWithParam<Case> {};

TEST_P(Registration, LeavesTheKeysShowsTheBoxesAndEnds) {
  const Case& c = GetParam();
  Rig rig("", "Menorix");
  rig.facts.folder = c.folder;
  ScriptedRegistry registry;
  for (const auto& [path, value] : c.setup) {
    ASSERT_EQ(
        value ? registry.memory.SetDefaultValue(path, *value) : registry.memory.CreateKey(path), 0);
  }
  registry.failures = c.failures;
  std::optional<std::size_t> boxesAtEnd;
  ContextMenu menu(registry, rig.runtime, [&] { boxesAtEnd = rig.ui.boxes.size(); });

  std::optional<bool> deleted;
  EXPECT_EQ(RunToEnd([&] {
              if (c.action == Action::Append) menu.cmdAppend_Click();
              if (c.action == Action::Remove) menu.cmdDelete_Click();
              if (c.action == Action::DeleteImportEntry)
                deleted = menu.Delete_ContextItem(kImportText);
            }),
            "returned");
  EXPECT_EQ(Dump(registry.memory.tree()), c.keys);
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
  EXPECT_EQ(registry.memory.OpenKeyCount(), 0u);
  EXPECT_LE(registry.mostOpen, 1u);
}

MsgBoxRequest Added() {
  return Box("Funktion wurde dem Kontextmenü hinzugefügt.", "Menorix", Buttons::Ok,
             Icon::Information);
}
MsgBoxRequest Removed() {
  return Box("Funktion wurde aus dem Kontextmenü entfernt.", "Menorix", Buttons::Ok,
             Icon::Information);
}
MsgBoxRequest NotAdded(const std::string& code) {
  return Box("Funktion konnte dem Kontextmenü nicht hinzugefügt werden: " + code, "Menorix",
             Buttons::Ok, Icon::Critical);
}

const std::string kImportCommand = kImport + "\\command";
const std::string kToolsStore = kStore + "\\command = \"C:\\Tools\\Tresolo.exe %1\"";
const std::string kToolsImport = kImportCommand + " = \"C:\\Tools\\Mappix.exe %1\"";
const Setup::value_type kStoreEntry{kStore + "\\command", "C:\\Tools\\Tresolo.exe %1"};
const Setup::value_type kOpenEntry{kOpenVerb, "notepad.exe %1"};
// The store entry and another verb, with `keys` between them.
std::vector<std::string> Others(const std::vector<std::string>& keys = {}) {
  std::vector<std::string> all{"*", "*\\shell", kStore, kToolsStore};
  all.insert(all.end(), keys.begin(), keys.end());
  all.insert(all.end(), {"*\\shell\\open", kOpenVerb + " = \"notepad.exe %1\""});
  return all;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, Registration, ::testing::ValuesIn(std::vector<Case>{
    {"AppendWritesTheCommandsForTheProgramFolder", Action::Append, {}, {},
     {"*", "*\\shell", kStore, kToolsStore, kImport, kToolsImport}, {Added()}},
    {"AppendQuotesAProgramPathWithBlanks", Action::Append, {}, {},
     {"*", "*\\shell", kStore, kStore + "\\command = \"\"C:\\Program Files\\Tresolo.exe\" %1\"",
      kImport, kImportCommand + " = \"\"C:\\Program Files\\Mappix.exe\" %1\""},
     {Added()}, {}, "C:\\Program Files"},
    {"AppendAgainRewritesTheCommandsInPlace", Action::Append,
     {{"*\\SHELL\\in kv5-briefkorb importieren\\COMMAND", "D:\\Old\\Mappix.exe %1"},
      {kStore + "\\command", "D:\\Old\\Tresolo.exe %1"}, kOpenEntry}, {},
     {"*", "*\\SHELL", "*\\SHELL\\In KV5-Archiv ablegen",
      "*\\SHELL\\In KV5-Archiv ablegen\\command = \"C:\\Tools\\Tresolo.exe %1\"",
      "*\\SHELL\\in kv5-briefkorb importieren",
      "*\\SHELL\\in kv5-briefkorb importieren\\COMMAND = \"C:\\Tools\\Mappix.exe %1\"",
      "*\\SHELL\\open", "*\\SHELL\\open\\command = \"notepad.exe %1\""},
     {Added()}},
    {"AppendReportsAFailedCreateAndWritesNothingMore", Action::Append, {},
     {{"Create " + kImportCommand, kErrorAccessDenied}}, {}, {NotAdded("5")}},
    {"AppendReportsAFailedSetOfTheSecondEntry", Action::Append, {},
     {{"Set " + kStore + "\\command", -1}},
     {"*", "*\\shell", kStore, kStore + "\\command", kImport, kToolsImport}, {NotAdded("FFFFFFFF")}},

    {"RemoveTakesBothEntriesAndNoOtherVerb", Action::Remove,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {},
     {"*", "*\\shell", "*\\shell\\open", kOpenVerb + " = \"notepad.exe %1\""}, {Removed()}},
    {"RemoveWithNothingThere", Action::Remove, {}, {}, {}, {Removed()}},
    {"RemoveGoesOnAfterAnEntryThatStays", Action::Remove, {{kImport, std::nullopt}, kStoreEntry},
     {}, {"*", "*\\shell", kImport}, {Removed()}},

    {"DeleteWholeEntry", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {}, Others(), {}, true},
    {"DeleteCommandInOtherLetterCase", Action::DeleteImportEntry,
     {{kImport + "\\cOMMAND", "x"}, kStoreEntry, kOpenEntry}, {}, Others(), {}, true},
    {"DeleteLastEntryKeepsTheShellKey", Action::DeleteImportEntry, {{kImportCommand, "x"}}, {},
     {"*", "*\\shell"}, {}, true},
    {"DeleteMissingEntry", Action::DeleteImportEntry, {kStoreEntry, kOpenEntry}, {}, Others(), {},
     false},
    {"DeleteEntryWithoutCommand", Action::DeleteImportEntry,
     {{kImport, std::nullopt}, kStoreEntry, kOpenEntry}, {}, Others({kImport}), {}, false},
    {"DeleteEntryWithAFurtherSubKey", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, {kImport + "\\extra", "y"}, kStoreEntry, kOpenEntry}, {},
     Others({kImport, kImport + "\\extra = \"y\""}), {}, false},
    {"DeleteWhenTheShellKeyCannotBeOpened", Action::DeleteImportEntry,
     {{kImportCommand, "x"}, kStoreEntry, kOpenEntry}, {{"Open *\\shell", kErrorAccessDenied}},
     Others({kImport}), {}, false},
}), [](const auto& info) { return info.param.name; });
// clang-format on

}  // namespace
}  // namespace kartiva::testing
