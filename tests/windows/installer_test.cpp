// The .msi as an administrator deploys it: installed silently with msiexec, its two entries started
// through shell32 exactly as the Explorer starts a verb of every file type, with file names that a
// command line can mangle; then removed again, leaving the other verbs of every file type alone.

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/windows/support/wine_rig.h"

namespace kartiva::wintest {
namespace {

constexpr wchar_t kImportVerb[] = L"In KV5-Briefkorb importieren";
constexpr wchar_t kStoreVerb[] = L"In KV5-Archiv ablegen";
constexpr wchar_t kNeighbourVerb[] = L"*\\shell\\Kartiva Nachbar";

// The package, built beside the programs' folder; its Linux path as Wine sees it.
std::wstring PackagePath() {
  std::wstring path = L"Z:" + Wide(KARTIVA_MSI_FILE);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring KnownFolder(int csidl) {
  wchar_t path[MAX_PATH];
  return SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK ? path : L"";
}

// Runs a command line to its end (at most two minutes) and gives its exit code.
[[nodiscard]] DWORD ExitCodeOf(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  CloseHandle(process.hThread);
  DWORD exitCode = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, 120'000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &exitCode);
  } else {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hProcess);
  return exitCode;
}

// A string value of a key under `root`; none when the key or the value is missing.
std::optional<std::wstring> Value(HKEY root, const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD bytes = sizeof value;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// Starts the verb on the file as the Explorer does for its context menu, and waits for the
// program it started; false when the shell found no such verb.
bool StartVerb(const wchar_t* verb, const std::wstring& file, DWORD& exitCode) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpClass = L"*";  // Wine finds the verbs of every file type only with the class named
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) return false;
  exitCode = STILL_ACTIVE;
  if (info.hProcess) {
    if (WaitForSingleObject(info.hProcess, 60'000) != WAIT_OBJECT_0) {
      TerminateProcess(info.hProcess, 99);
    }
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hProcess);
  }
  return true;
}

// Makes the file, and the folders to it, through the long-path form that is not held to MAX_PATH.
bool MakeFile(const std::wstring& path) {
  const std::wstring longForm = L"\\\\?\\" + path;
  for (std::size_t slash = longForm.find(L'\\', 7); slash != std::wstring::npos;
       slash = longForm.find(L'\\', slash + 1)) {
    CreateDirectoryW(longForm.substr(0, slash).c_str(), nullptr);
  }
  const HANDLE file = CreateFileW(longForm.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

class Installer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterFakeToolkit(), S_OK); }
};

TEST_F(Installer, InstallsEntriesTheShellStartsAndRemovesExactlyThem) {
  const std::wstring folder = KnownFolder(CSIDL_PROGRAM_FILES) + L"\\Kartiva Tools\\";
  // The Start menu of all users on Windows; Wine resolves the folder before it settles the
  // package's install context, and so puts a machine's shortcut into the installing user's menu.
  const std::wstring shortcut = KnownFolder(CSIDL_PROGRAMS) + L"\\Menorix.lnk";
  ASSERT_EQ(RegSetValueW(HKEY_CLASSES_ROOT, (std::wstring(kNeighbourVerb) + L"\\command").c_str(),
                         REG_SZ, L"notepad.exe %1", 0),
            ERROR_SUCCESS);

  ASSERT_EQ(ExitCodeOf(L"msiexec.exe /i \"" + PackagePath() + L"\" /qn"), 0u);

  // Per machine, each entry exactly as Menorix writes it.
  for (const auto& [verb, program] :
       {std::pair{kImportVerb, L"Mappix.exe"}, std::pair{kStoreVerb, L"Tresolo.exe"}}) {
    SCOPED_TRACE(Narrow(verb));
    const std::wstring key = std::wstring(L"Software\\Classes\\*\\shell\\") + verb;
    const std::wstring quoted = L"\"" + folder + program + L"\"";
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, key + L"\\command", nullptr), quoted + L" %1");
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, key, L"Icon"), quoted);
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, key, L"MultiSelectModel"), L"Player");
  }
  for (const wchar_t* program : {L"Mappix.exe", L"Tresolo.exe", L"Menorix.exe"}) {
    EXPECT_NE(GetFileAttributesW((folder + program).c_str()), INVALID_FILE_ATTRIBUTES)
        << Narrow(program);
  }
  EXPECT_NE(GetFileAttributesW(shortcut.c_str()), INVALID_FILE_ATTRIBUTES);

  // Both entries started on files whose names a command line can mangle.
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring files =
      std::wstring(temp) + L"Kartiva Shell " + std::to_wstring(GetCurrentProcessId()) + L"\\";
  std::wstring deep = files;
  while (deep.size() <= 260)
    deep += L"Ordner mit einem langen Namen (Ebene " + std::to_wstring(deep.size()) + L")\\";
  const std::wstring names[] = {
      files + L"Angebot mit Blanks.doc",
      files + L"zwei  Blanks  hintereinander.doc",
      files + L"B\u00fcrom\u00f6bel \u00c4rger \u00df.doc",
      files + L"Rechnung (Kopie) (2).doc",
      deep + L"Lieferschein.doc",
  };
  for (const std::wstring& name : names) {
    SCOPED_TRACE(Narrow(name));
    ASSERT_TRUE(MakeFile(name));
    for (const wchar_t* verb : {kImportVerb, kStoreVerb}) {
      SCOPED_TRACE(Narrow(verb));
      FakeToolkitFiles toolkit;
      toolkit.Script(
          "Session.QueryActiveBasket.out=Eingang\n"
          "Session.ListArchives.out=Allgemein\n"
          "Session.QueryActiveArchive.out=Allgemein\n"
          "Basket.AddFile.out=C:\\Kartiva\\Eingang\\00000001.001\n");
      DWORD exitCode = STILL_ACTIVE;
      ASSERT_TRUE(StartVerb(verb, name, exitCode)) << "error " << GetLastError();
      EXPECT_EQ(exitCode, 0u);
      const std::vector<std::string> calls = toolkit.Log();
      const std::string added = "Basket.AddFile(\"" + Narrow(name) + "\", \"\", &Variant, &Long)";
      EXPECT_NE(std::find(calls.begin(), calls.end(), added), calls.end())
          << "the toolkit saw:\n"
          << ::testing::PrintToString(calls);
    }
  }

  ASSERT_EQ(ExitCodeOf(L"msiexec.exe /x \"" + PackagePath() + L"\" /qn"), 0u);

  for (const wchar_t* verb : {kImportVerb, kStoreVerb}) {
    SCOPED_TRACE(Narrow(verb));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"*\\shell\\") + verb));
    DWORD exitCode = 0;
    EXPECT_FALSE(StartVerb(verb, names[0], exitCode));
  }
  EXPECT_EQ(Value(HKEY_CLASSES_ROOT, std::wstring(kNeighbourVerb) + L"\\command", nullptr),
            L"notepad.exe %1");
  EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(shortcut.c_str()), INVALID_FILE_ATTRIBUTES);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kNeighbourVerb);
}

}  // namespace
}  // namespace kartiva::wintest
