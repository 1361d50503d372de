// Mappix.exe and Tresolo.exe, run as the Explorer runs them, against the fake component: the calls
// the toolkit sees, the boxes the user sees (read from the screen and answered with the keyboard
// through xdotool), the exit status; and the resources built into each of the three programs.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/windows/support/boxes.h"
#include "tests/windows/support/wine_rig.h"

namespace kartiva::wintest {
namespace {

using Lines = std::vector<std::string>;

struct Outcome {
  DWORD exitCode = STILL_ACTIVE;
  std::vector<Box> boxes;
};

// Starts the program file `path` with `commandLine`, answers each box it shows with the next of
// `keys`, and waits for its end.
Outcome Start(const std::wstring& path, std::wstring commandLine,
              const std::vector<std::string>& keys) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  Outcome run;
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start " << Narrow(path) << ": error " << GetLastError();
    return run;
  }
  CloseHandle(process.hThread);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << Narrow(path) << " did not end";
      TerminateProcess(process.hProcess, 99);
      break;
    }
    const HWND box = FindBox(process.dwProcessId);
    if (!box) continue;
    run.boxes.push_back(ReadWhenDrawn(process.hProcess, box));
    if (run.boxes.size() > keys.size()) {
      ADD_FAILURE() << "an unexpected box: " << run.boxes.back().text;
      TerminateProcess(process.hProcess, 98);
      break;
    }
    if (!Press(box, "key " + keys[run.boxes.size() - 1]) || !WaitUntilClosed(box)) {
      ADD_FAILURE() << "the box could not be answered: " << run.boxes.back().text;
      TerminateProcess(process.hProcess, 97);
      break;
    }
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hProcess);
  return run;
}

class Programs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterFakeToolkit(), S_OK); }
};

// What the fake answers in every run unless a case says otherwise.
constexpr char kKartiva[] =
    "Session.QueryActiveBasket.out=Eingang\n"
    "Session.ListArchives.out=Allgemein,Projekte\n"
    "Session.QueryActiveArchive.out=Allgemein\n"
    "Basket.AddFile.out=C:\\Kartiva\\Eingang\\00000001.001\n";

constexpr int kOk = IDOK;
constexpr int kYes = IDYES;
constexpr int kNo = IDNO;

struct Case {
  const char* what;
  const wchar_t* program;
  const wchar_t* arguments;  // the command line after the quoted program path
  const char* script;        // lines added to kKartiva; a later line of a key wins
  std::vector<std::pair<Box, std::string>> boxes;  // each box expected, and the key that answers it
  Lines calls;
  DWORD exitCode;
};

void Check(const Case& c) {
  SCOPED_TRACE(c.what);
  FakeToolkitFiles files;
  files.Script(std::string(kKartiva) + c.script);
  std::vector<Box> boxes;
  std::vector<std::string> keys;
  for (const auto& [box, key] : c.boxes) {
    boxes.push_back(box);
    keys.push_back(key);
  }
  const std::wstring path = BinaryFolder() + L"\\" + c.program;
  const Outcome outcome = Start(path, L"\"" + path + L"\"" + c.arguments, keys);
  EXPECT_EQ(outcome.boxes, boxes);
  EXPECT_EQ(files.Log(), c.calls);
  EXPECT_EQ(outcome.exitCode, c.exitCode);
}

const Lines kMappixStart = {
    "new Session",
    "Session.IsClientRunning(&Variant, &Long)",
    "Session.QueryActiveBasket(&Variant, &Long)",
    R"(Session.OpenBasket("Eingang", &Variant, &Long))",
    "new Basket",
};

Lines Concat(Lines head, const Lines& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(Programs, MappixImportsTheCommandLineAndShowsWhatTheUserMustSee) {
  const Case cases[] = {
      {"a silent import",
       L"Mappix.exe",
       L" C:\\Scans\\offer.doc",
       "",
       {},
       Concat(kMappixStart, {R"(Basket.AddFile("C:\Scans\offer.doc", "", &Variant, &Long))",
                             "Session.Refresh(&Long)", "del Basket", "del Session"}),
       0},
      {"blanks after the program, quotes and characters outside ASCII stay",
       L"Mappix.exe",
       L" \t  \"C:\\Meine Scans\\Angebot B\u00fcrom\u00f6bel \u2013 \u03a9.doc\" ",
       "",
       {},
       Concat(kMappixStart, {"Basket.AddFile(\"\"C:\\Meine Scans\\Angebot B\xC3\xBCrom\xC3\xB6"
                             "bel \xE2\x80\x93 "
                             "\xCE\xA9.doc\" \", \"\", &Variant, &Long)",
                             "Session.Refresh(&Long)", "del Basket", "del Session"}),
       0},
      {"an AddFile error is shown, and the refresh still follows",
       L"Mappix.exe",
       L" C:\\Scans\\offer.doc",
       "Basket.AddFile.code=255",
       {{{"Mappix", "Fehler beim Datei-Import: FF", {kOk}, "none"}, "Return"}},
       Concat(kMappixStart, {R"(Basket.AddFile("C:\Scans\offer.doc", "", &Variant, &Long))",
                             "Session.Refresh(&Long)", "del Basket", "del Session"}),
       2},
      {"an empty command line imports nothing",
       L"Mappix.exe",
       L"",
       "",
       {{{"Fehler beim Import", "Es ist ein Fehler beim Import aufgetreten!", {kOk}, "none"},
         "Return"}},
       Concat(kMappixStart, {"del Basket", "del Session"}),
       2},
      {"the user declines to start the client",
       L"Mappix.exe",
       L" C:\\Scans\\offer.doc",
       "Session.IsClientRunning.out=False",
       {{{"Kartiva starten?",
          "Kartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?",
          {kYes, kNo},
          "question"},
         "n"}},
       {"new Session", "Session.IsClientRunning(&Variant, &Long)", "del Session"},
       0},
      {"the user starts the client with the default button",
       L"Mappix.exe",
       L" C:\\a.doc",
       "Session.IsClientRunning.out=False",
       {{{"Kartiva starten?",
          "Kartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?",
          {kYes, kNo},
          "question"},
         "Return"}},
       {"new Session", "Session.IsClientRunning(&Variant, &Long)",
        R"(Session.StartClient("", "", 90, &Long))", "Session.QueryActiveBasket(&Variant, &Long)",
        R"(Session.OpenBasket("Eingang", &Variant, &Long))", "new Basket",
        R"(Basket.AddFile("C:\a.doc", "", &Variant, &Long))", "Session.Refresh(&Long)",
        "del Basket", "del Session"},
       0},
      {"a call that fails outright is reported and ends the program",
       L"Mappix.exe",
       L" C:\\a.doc",
       "Session.OpenBasket.fail=80045005 Basket store offline",
       {{{"Mappix",
          "Run-time error '-2147201019 (80045005)':\n\nToolkitSession.OpenBasket failed (HRESULT "
          "80045005): "
          "Basket store offline",
          {kOk},
          "error"},
         "Return"}},
       {"new Session", "Session.IsClientRunning(&Variant, &Long)",
        "Session.QueryActiveBasket(&Variant, &Long)",
        R"(Session.OpenBasket("Eingang", &Variant, &Long))", "del Session"},
       1},
  };
  for (const Case& c : cases) Check(c);
}

// The Explorer starts the command that the configurator registers: the program's path unquoted,
// here in a folder with blanks, then the file.
TEST_F(Programs, MappixInAFolderWithBlanksStartedByItsUnquotedPath) {
  FakeToolkitFiles files;
  files.Script(kKartiva);
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring folder =
      std::wstring(temp) + L"Kartiva Tools " + std::to_wstring(GetCurrentProcessId());
  const std::wstring path = folder + L"\\Mappix.exe";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW((BinaryFolder() + L"\\Mappix.exe").c_str(), path.c_str(), TRUE));

  const Outcome outcome = Start(path, path + L" C:\\Scans\\a b.doc", {});
  DeleteFileW(path.c_str());
  RemoveDirectoryW(folder.c_str());

  EXPECT_EQ(outcome.exitCode, 0u);
  EXPECT_EQ(files.Log(),
            Concat(kMappixStart, {R"(Basket.AddFile("C:\Scans\a b.doc", "", &Variant, &Long))",
                                  "Session.Refresh(&Long)", "del Basket", "del Session"}));
}

const Lines kTresoloStart = {
    "new Session",
    "Session.IsClientRunning(&Variant, &Long)",
    "Session.QueryActiveBasket(&Variant, &Long)",
    "Session.ListArchives(&Variant, &Long)",
    "Session.QueryActiveArchive(&Variant, &Long)",
    "Session.QueryActiveBasket(&Variant, &Long)",
    R"(Session.OpenArchive("Allgemein", &Variant, &Long))",
    "new Archive",
    "Archive.Open(&Long)",
    R"(Session.OpenBasket("Eingang", &Variant, &Long))",
    "new Basket",
    "Basket.Open(&Long)",
};

TEST_F(Programs, TresoloStoresAForeignFileAndABasketDocument) {
  const Case cases[] = {
      {"a foreign file is converted, added to the basket and its basket document stored",
       L"Tresolo.exe",
       L" C:\\Scans\\offer.doc",
       "",
       {},
       Concat(kTresoloStart,
              {R"(Session.ConvertFile("C:\Scans\offer.doc", "Eingang", "", &Variant, &Long))",
               R"(Basket.AddFile("C:\Scans\offer.doc", "", &Variant, &Long))",
               "Session.Refresh(&Long)", R"(Session.SetDocumentName("00000001.001", &Long))",
               R"(Archive.StoreFile("C:\Kartiva\Eingang\00000001.001", 1, True, True, "", &Long))",
               "del Archive", "del Basket", "del Session"}),
       0},
      {"a basket document cannot be converted and is stored itself",
       L"Tresolo.exe",
       L" C:\\Kartiva\\Eingang\\00000007.001",
       "",
       {{{"Unable to convert file.", "Unable to convert the desired file.", {kOk}, "none"},
         "Return"}},
       Concat(kTresoloStart,
              {"Session.Refresh(&Long)",
               R"(Archive.StoreFile("C:\Kartiva\Eingang\00000007.001", 1, True, True, "", &Long))",
               "del Archive", "del Basket", "del Session"}),
       0},
      {"a basket that the toolkit did not open is an outright failure",
       L"Tresolo.exe",
       L" C:\\Scans\\offer.doc",
       "Session.OpenBasket.out=Nothing",
       {{{"Tresolo", "Run-time error '91':\n\nObject variable not set: TKBasket", {kOk}, "error"},
         "Return"}},
       Concat(Lines(kTresoloStart.begin(), kTresoloStart.end() - 2),
              {"del Archive", "del Session"}),
       1},
  };
  for (const Case& c : cases) Check(c);
}

// A hundred files selected while the client is stopped: the Explorer starts a hundred Mappix.exe at
// once. One asks, the user starts the client, and every one imports its file; the others never ask.
TEST_F(Programs, AHundredAtOnceOnAStoppedClientAskOnceAndAllImport) {
  FakeToolkitFiles files;
  files.Script(std::string(kKartiva) +
               "Session.IsClientRunning.out=False\n"
               "Session.StartClient.then=Session.IsClientRunning.out=True\n");
  const std::wstring path = BinaryFolder() + L"\\Mappix.exe";
  std::vector<PROCESS_INFORMATION> running;
  std::multiset<std::string> imports;
  for (int i = 0; i < 100; ++i) {
    const std::string file = "C:\\Scans\\file " + std::to_string(i) + ".doc";
    imports.insert("Basket.AddFile(\"" + file + "\", \"\", &Variant, &Long)");
    std::wstring commandLine = L"\"" + path + L"\" " + Wide(file);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    running.push_back(process);
  }

  // Every box is answered Yes; a second one is already the fault, so the run stops there.
  int questions = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  for (std::size_t ended = 0; ended < running.size() && questions <= 1;) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << ended << " of 100 ended";
      break;
    }
    ended = 0;
    for (const PROCESS_INFORMATION& process : running) {
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
        ++ended;
      } else if (const HWND box = FindBox(process.dwProcessId); box && ++questions == 1) {
        EXPECT_EQ(ReadWhenDrawn(process.hProcess, box).title, "Kartiva starten?");
        EXPECT_TRUE(Press(box, "key Return") && WaitUntilClosed(box));
      }
    }
    Sleep(50);
  }
  EXPECT_EQ(questions, 1);
  for (const PROCESS_INFORMATION& process : running) {
    TerminateProcess(process.hProcess, 99);  // only those that still run: a failed run
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hProcess);
  }
  std::multiset<std::string> added;
  int starts = 0;
  for (const std::string& line : files.Log()) {
    if (line.rfind("Basket.AddFile(", 0) == 0) added.insert(line);
    if (line.rfind("Session.StartClient(", 0) == 0) ++starts;
  }
  EXPECT_EQ(starts, 1);
  std::vector<std::string> missing;
  std::set_difference(imports.begin(), imports.end(), added.begin(), added.end(),
                      std::back_inserter(missing));
  EXPECT_EQ(missing, Lines{});
  EXPECT_EQ(added.size(), imports.size());
}

// Each program carries its version, its manifest and its icon.
TEST(ProgramResources, VersionManifestAndIcon) {
  struct Expected {
    const wchar_t* program;
    DWORD versionHigh;
    DWORD versionLow;
  };
  for (const Expected& e :
       {Expected{L"Mappix.exe", MAKELONG(0, 1), 0}, Expected{L"Tresolo.exe", MAKELONG(0, 1), 0},
        Expected{L"Menorix.exe", MAKELONG(1, 1), 0}}) {
    SCOPED_TRACE(Narrow(e.program));
    const std::wstring path = BinaryFolder() + L"\\" + e.program;
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);

    DWORD ignored = 0;
    std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, e.versionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, e.versionLow);

    HRSRC manifest = FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(image, manifest))),
                           SizeofResource(image, manifest));
    EXPECT_NE(text.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                        "WindowsSettings\">PerMonitorV2"),
              std::string::npos);
    EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);

    HICON icon = static_cast<HICON>(LoadImageW(image, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(icon, nullptr);
    if (icon) DestroyIcon(icon);
    FreeLibrary(image);
  }
}

}  // namespace
}  // namespace kartiva::wintest
