// The registration over the Windows registry adapter, against Wine's registry under
// HKEY_CLASSES_ROOT: the keys and values each action leaves, that every key it opened is closed
// again, and the names the adapter refuses because the wide functions would misread them.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "configurator/context_menu.h"
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

// A key's line of the dump: `path`, or `path = "value"` for a default value that is a REG_SZ with
// its terminating NUL counted; any other default value shows its type and size.
std::string Line(HKEY key, const std::wstring& path) {
  std::string line = Narrow(path);
  DWORD type = 0;
  wchar_t value[512] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
      ERROR_SUCCESS) {
    return line;
  }
  const std::wstring text(value);
  if (type == REG_SZ && bytes == (text.size() + 1) * sizeof(wchar_t)) {
    return line + " = \"" + Narrow(text) + "\"";
  }
  return line + " = type " + std::to_string(type) + ", " + std::to_string(bytes) + " bytes";
}

// Every key below `path` in order, a line each.
void Dump(const std::wstring& path, std::vector<std::string>& lines) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0, length = 256;
       RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++i, length = 256) {
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  for (const std::wstring& sub : names) {
    const std::wstring subPath = path + L"\\" + sub;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      continue;
    }
    lines.push_back(Line(key, subPath));
    RegCloseKey(key);
    Dump(subPath, lines);
  }
}

std::vector<std::string> ShellKeys() {
  std::vector<std::string> lines;
  Dump(L"*\\shell", lines);
  return lines;
}

void Put(const std::wstring& path, const std::optional<std::wstring>& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  if (value) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

class WindowsRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell"); }
  void TearDown() override { RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell"); }
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

TEST_F(WindowsRegistryTest, RegistrationLeavesTheKeysAndClosesEveryKey) {
  const std::pair<std::wstring, std::optional<std::wstring>> openVerb{L"*\\shell\\open\\command",
                                                                      L"notepad.exe %1"};
  const Case cases[] = {
      {"add",
       Action::Append,
       {openVerb},
       {kStoreKey, kStoreKey + "\\command = \"C:\\Tools\\Tresolo.exe %1\"", kImportKey,
        kImportKey + "\\command = \"C:\\Tools\\Mappix.exe %1\"", kOpen, kOpenCommand}},
      {"add again, over keys in other letter case",
       Action::Append,
       {{L"*\\shell\\in kv5-briefkorb importieren\\COMMAND", L"D:\\Old\\Mappix.exe %1"},
        {kStore + L"\\command", L"D:\\Old\\Tresolo.exe %1"}},
       {kStoreKey, kStoreKey + "\\command = \"C:\\Tools\\Tresolo.exe %1\"",
        "*\\shell\\in kv5-briefkorb importieren",
        "*\\shell\\in kv5-briefkorb importieren\\COMMAND = \"C:\\Tools\\Mappix.exe %1\""}},
      {"add from a folder with blanks, quoted",
       Action::Append,
       {},
       {kStoreKey, kStoreKey + "\\command = \"\"C:\\Program Files\\Tools\\Tresolo.exe\" %1\"",
        kImportKey, kImportKey + "\\command = \"\"C:\\Program Files\\Tools\\Mappix.exe\" %1\""},
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
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"*\\shell");
    for (const auto& [path, value] : c.setup) Put(path, value);
    const std::set<std::uintptr_t> keysBefore = OpenKeyHandles();
    {
      testing::Rig rig("", "Menorix");
      rig.facts.folder = c.folder;
      WindowsRegistry registry;
      ContextMenu menu(registry, rig.runtime, [] {});
      std::optional<bool> deleted;
      if (c.action == Action::Append) menu.cmdAppend_Click();
      if (c.action == Action::Remove) menu.cmdDelete_Click();
      if (c.action == Action::DeleteImportEntry) {
        deleted = menu.Delete_ContextItem("In KV5-Briefkorb importieren");
      }
      EXPECT_EQ(deleted, c.deleted);
      ASSERT_EQ(rig.ui.boxes.size(), c.action == Action::DeleteImportEntry ? 0u : 1u);
    }
    EXPECT_EQ(OpenKeyHandles(), keysBefore);
    EXPECT_EQ(ShellKeys(), c.keys);
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
