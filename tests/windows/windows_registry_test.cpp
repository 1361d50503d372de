// The registration over the Windows registry adapter, against Wine's registry under
// HKEY_CLASSES_ROOT: the keys and values each action leaves, that every key it opened is closed
// again, and the names the adapter refuses because the wide functions would misread them.

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "menorix/context_menu.h"
#include "platform/win32/windows_registry.h"
#include "tests/support/fakes.h"
#include "tests/windows/support/wine_rig.h"

namespace kartiva::win32 {
namespace {

using wintest::Narrow;

// The registry key handles open in this process: handle values are multiples of 4 handed out
// from the lowest free one, so a key left open shows up among the first thousands.
std::set<std::uintptr_t> OpenKeyHandles() {
  std::set<std::uintptr_t> keys;
  for (std::uintptr_t handle = 4; handle < 0x4000; handle += 4) {
    if (RegQueryInfoKeyW(reinterpret_cast<HKEY>(handle), nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS) {
      keys.insert(handle);
    }
  }
  return keys;
}

// The text of a REG_SZ value with its terminating NUL counted, or its type and size.
std::string ValueText(DWORD type, const wchar_t* value, DWORD bytes) {
  const std::wstring text(value);
  if (type == REG_SZ && bytes == (text.size() + 1) * sizeof(wchar_t)) {
    return "\"" + Narrow(text) + "\"";
  }
  return "type " + std::to_string(type) + ", " + std::to_string(bytes) + " bytes";
}

// A key's lines of the dump: `path`, or `path = "value"` for its default value, then its named
// values sorted by name as `path [name] = "value"`.
std::vector<std::string> Lines(HKEY key, const std::wstring& path) {
  std::vector<std::string> named;
  std::string line = Narrow(path);
  wchar_t name[256];
  wchar_t value[512];
  DWORD type = 0;
  for (DWORD i = 0, length = 256, bytes = sizeof value - sizeof(wchar_t);
       RegEnumValueW(key, i, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(value),
                     &bytes) == ERROR_SUCCESS;
       ++i, length = 256, bytes = sizeof value - sizeof(wchar_t)) {
    value[bytes / sizeof(wchar_t)] = L'\0';
    const std::string text = ValueText(type, value, bytes);
    if (length == 0) {
      line += " = " + text;
    } else {
      named.push_back(Narrow(path) + " [" + Narrow(std::wstring(name, length)) + "] = " + text);
    }
  }
  std::sort(named.begin(), named.end());
  named.insert(named.begin(), line);
  return named;
}

// A classes root as the test reaches it: a predefined key, and the path of the classes below it.
struct Classes {
  HKEY root;
  std::wstring path;  // empty, or ending in a backslash
};
const Classes kRoot{HKEY_CLASSES_ROOT, L""};
const Classes kUser{HKEY_CURRENT_USER, L"Software\\Classes\\"};
const Classes kMachine{HKEY_LOCAL_MACHINE, L"Software\\Classes\\"};

// Every key below `path` of the classes, in order.
void Dump(const Classes& classes, const std::wstring& path, std::vector<std::string>& lines) {
  HKEY key = nullptr;
  const std::wstring full = classes.path + path;
  if (RegOpenKeyExW(classes.root, full.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0, length = 256;
       RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = 256) {
    names.emplace_back(name, length);
  }
  for (const std::wstring& sub : names) {
    HKEY subKey = nullptr;
    if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &subKey) != ERROR_SUCCESS) continue;
    const std::vector<std::string> keyLines = Lines(subKey, path + L"\\" + sub);
    lines.insert(lines.end(), keyLines.begin(), keyLines.end());
    RegCloseKey(subKey);
    Dump(classes, path + L"\\" + sub, lines);
  }
  RegCloseKey(key);
}

std::vector<std::string> ShellKeys(const Classes& classes = kRoot) {
  std::vector<std::string> lines;
  Dump(classes, L"*\\shell", lines);
  return lines;
}

void Put(const std::wstring& path, const std::optional<std::wstring>& value,
         const Classes& classes = kRoot) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(classes.root, (classes.path + path).c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

void DeleteShellKeys() {
  for (const Classes* classes : {&kRoot, &kUser, &kMachine}) {
    RegDeleteTreeW(classes->root, (classes->path + L"*\\shell").c_str());
  }
}

class WindowsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteShellKeys(); }
  void TearDown() override { DeleteShellKeys(); }
};

enum class Action { Append, Remove, DeleteImportEntry };

struct Case {
  const char* what;
  Action action;
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> setup;
  std::vector<std::string> keys;  // below *\shell afterwards
  std::optional<bool> deleted{};  // what Delete_ContextItem returned
  std::string folder = "C:\\Tools";
};

const std::wstring kImport = L"*\\shell\\In KV5-Briefkorb importieren";
const std::wstring kStore = L"*\\shell\\In KV5-Archiv ablegen";
const std::string kImportKey = "*\\shell\\In KV5-Briefkorb importieren";
const std::string kStoreKey = "*\\shell\\In KV5-Archiv ablegen";
const std::string kOpen = "*\\shell\\open";
const std::string kOpenCommand = kOpen + "\\command = \"notepad.exe %1\"";

// The lines of an entry key written in full for `program`, the program's path as the entry names
// it; `command` is the name of its command key.
std::vector<std::string> Entry(const std::string& key, const std::string& program,
                               const std::string& command = "command") {
  return {key, key + " [Icon] = \"" + program + "\"", key + " [MultiSelectModel] = \"Player\"",
          key + "\\" + command + " = \"" + program + " %1\""};
}
std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const std::vector<std::string>& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST_F(WindowsRegistryTest, RegistrationLeavesTheKeysAndClosesEveryKey) {
  const std::pair<std::wstring, std::optional<std::wstring>> openVerb{L"*\\shell\\open\\command",
                                                                      L"notepad.exe %1"};
  const Case cases[] = {
      {"add",
       Action::Append,
       {openVerb},
       Joined({Entry(kStoreKey, "C:\\Tools\\Tresolo.exe"),
               Entry(kImportKey, "C:\\Tools\\Mappix.exe"),
               {kOpen, kOpenCommand}})},
      {"add again, over keys in other letter case",
       Action::Append,
       {{L"*\\shell\\in kv5-briefkorb importieren\\COMMAND", L"D:\\Old\\Mappix.exe %1"},
        {kStore + L"\\command", L"D:\\Old\\Tresolo.exe %1"}},
       Joined(
           {Entry(kStoreKey, "C:\\Tools\\Tresolo.exe"),
            Entry("*\\shell\\in kv5-briefkorb importieren", "C:\\Tools\\Mappix.exe", "COMMAND")})},
      {"add from a folder with blanks, quoted",
       Action::Append,
       {},
       Joined({Entry(kStoreKey, "\"C:\\Program Files\\Tools\\Tresolo.exe\""),
               Entry(kImportKey, "\"C:\\Program Files\\Tools\\Mappix.exe\"")}),
       {},
       "C:\\Program Files\\Tools"},
      {"remove both entries and no other verb",
       Action::Remove,
       {{kImport + L"\\command", L"x"}, {kStore + L"\\command", L"y"}, openVerb},
       {kOpen, kOpenCommand}},
      {"the entry with an extra sub-key loses its command and stays",
       Action::DeleteImportEntry,
       {{kImport + L"\\command", L"x"}, {kImport + L"\\extra", std::nullopt}},
       {kImportKey, kImportKey + "\\extra"},
       false},
      {"a command key in other letter case is deleted",
       Action::DeleteImportEntry,
       {{kImport + L"\\cOMMAND", L"x"}, openVerb},
       {kOpen, kOpenCommand},
       true},
      {"a missing entry is left as it is",
       Action::DeleteImportEntry,
       {openVerb},
       {kOpen, kOpenCommand},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteShellKeys();
    for (const auto& [path, value] : c.setup) Put(path, value);
    const std::set<std::uintptr_t> keysBefore = OpenKeyHandles();
    {
      testing::Rig rig("", "Menorix");
      rig.facts.folder = [&c] { return c.folder; };
      WindowsRegistry classes;
      WindowsRegistry user = WindowsRegistry::UserClasses();
      WindowsRegistry machine = WindowsRegistry::MachineClasses();
      ContextMenu menu({classes, user, machine}, rig.runtime, [] {});
      std::optional<bool> deleted;
      if (c.action == Action::Append) menu.cmdAppend_Click();
      if (c.action == Action::Remove) menu.cmdDelete_Click();
      if (c.action == Action::DeleteImportEntry) {
        deleted = Delete_ContextItem(classes, "In KV5-Briefkorb importieren") == kErrorSuccess;
      }
      EXPECT_EQ(deleted, c.deleted);
      ASSERT_EQ(rig.ui.boxes.size(), c.action == Action::DeleteImportEntry ? 0u : 1u);
    }
    EXPECT_EQ(OpenKeyHandles(), keysBefore);
    EXPECT_EQ(ShellKeys(), c.keys);
  }
}

// The classes root as Windows shows it to a plain user, which Wine cannot: every change is
// refused, and no entry is there to open.
class RefusingClasses final : public Registry {
  [[nodiscard]] RegResult DoCreateKey(std::string_view) override { return ERROR_ACCESS_DENIED; }
  [[nodiscard]] RegResult DoSetValue(std::string_view, std::string_view,
                                     std::string_view) override {
    return ERROR_ACCESS_DENIED;
  }
  [[nodiscard]] RegResult DoOpenKey(std::string_view, std::uintptr_t&) override {
    return ERROR_FILE_NOT_FOUND;
  }
  [[nodiscard]] RegResult DoDeleteSubKey(std::uintptr_t, std::string_view) override {
    return ERROR_ACCESS_DENIED;
  }
  [[nodiscard]] RegResult DoCloseKey(std::uintptr_t) noexcept override {
    return ERROR_INVALID_HANDLE;
  }
};

TEST_F(WindowsRegistryTest, APlainUsersEntriesLiveInTheUsersClassesAndGoAgain) {
  using Setup = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;
  const struct {
    const char* what;
    Action action;
    bool refused;  // the classes root refuses every change
    Setup user;
    Setup machine;
    std::vector<std::string> userKeys;  // below *\shell afterwards
    std::vector<std::string> machineKeys;
    std::string box;
  } cases[] = {
      {"a refused registration goes into the user's classes",
       Action::Append,
       true,
       {},
       {{L"*\\shell\\open\\command", L"notepad.exe %1"}},
       Joined({Entry(kStoreKey, "\"C:\\Program Files\\Tools\\Tresolo.exe\""),
               Entry(kImportKey, "\"C:\\Program Files\\Tools\\Mappix.exe\"")}),
       {kOpen, kOpenCommand},
       "Funktion wurde dem Kontextmenü hinzugefügt."},
      {"removal takes the entries from the user's and the machine's classes",
       Action::Remove,
       false,
       {{kImport + L"\\command", L"x"}, {kStore + L"\\command", L"y"}},
       {{kImport + L"\\command", L"x"}, {L"*\\shell\\open\\command", L"notepad.exe %1"}},
       {},
       {kOpen, kOpenCommand},
       "Funktion wurde aus dem Kontextmenü entfernt."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteShellKeys();
    for (const auto& [path, value] : c.user) Put(path, value, kUser);
    for (const auto& [path, value] : c.machine) Put(path, value, kMachine);
    const std::set<std::uintptr_t> keysBefore = OpenKeyHandles();
    {
      testing::Rig rig("", "Menorix");
      rig.facts.folder = [] { return std::string("C:\\Program Files\\Tools"); };
      RefusingClasses refusing;
      WindowsRegistry classes;
      WindowsRegistry user = WindowsRegistry::UserClasses();
      WindowsRegistry machine = WindowsRegistry::MachineClasses();
      ContextMenu menu({c.refused ? static_cast<Registry&>(refusing) : classes, user, machine},
                       rig.runtime, [] {});
      if (c.action == Action::Append) menu.cmdAppend_Click();
      if (c.action == Action::Remove) menu.cmdDelete_Click();
      ASSERT_EQ(rig.ui.boxes.size(), 1u);
      EXPECT_EQ(rig.ui.boxes[0].text, c.box);
    }
    EXPECT_EQ(OpenKeyHandles(), keysBefore);
    EXPECT_EQ(ShellKeys(kUser), c.userKeys);
    EXPECT_EQ(ShellKeys(kMachine), c.machineKeys);
  }
}

// Names that the wide functions would read as something else: an empty name deletes the open key
// itself, a path deletes a key further down, and a NUL cuts a path or a value short.
TEST_F(WindowsRegistryTest, RefusesNamesThatWouldReachAnotherKey) {
  Put(kImport + L"\\command", L"x");
  Put(L"*\\shell\\other", std::nullopt);
  const std::set<std::uintptr_t> keysBefore = OpenKeyHandles();
  {
    WindowsRegistry registry;
    RegistryKey shell;
    ASSERT_EQ(registry.OpenKey("*\\shell", shell), kErrorSuccess);
    const struct {
      std::string name;
      RegResult result;
    } deletions[] = {
        {"", kErrorBadPathname},
        {"In KV5-Briefkorb importieren\\command", kErrorBadPathname},
        {std::string("other\0x", 7), kErrorBadPathname},
        {"missing", kErrorFileNotFound},
        {"In KV5-Briefkorb importieren", kErrorAccessDenied},  // it has a sub-key
    };
    for (const auto& d : deletions) EXPECT_EQ(registry.DeleteSubKey(shell, d.name), d.result);

    EXPECT_EQ(registry.CreateKey(std::string("*\\shell\\other\0\\x", 16)), kErrorBadPathname);
    EXPECT_EQ(registry.SetDefaultValue("*\\shell\\other", std::string("a\0b", 3)),
              ERROR_INVALID_PARAMETER);
    RegistryKey missing;
    EXPECT_EQ(registry.OpenKey("*\\shell\\missing", missing), kErrorFileNotFound);
    EXPECT_FALSE(missing.IsOpen());
  }
  EXPECT_EQ(OpenKeyHandles(), keysBefore);
  EXPECT_EQ(ShellKeys(), (std::vector<std::string>{kImportKey, kImportKey + "\\command = \"x\"",
                                                   "*\\shell\\other"}));
}

}  // namespace
}  // namespace kartiva::win32
