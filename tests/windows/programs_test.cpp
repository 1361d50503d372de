// Mappix.exe and Tresolo.exe, run as the Explorer runs them, against the fake component: the calls
// the toolkit sees, the boxes the user sees (read from the screen and answered with the keyboard
// through xdotool), the exit status; and the resources built into each of the three programs.

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
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
  Outcome run;
  const PROCESS_INFORMATION process = StartProcess(path, std::move(commandLine));
  if (!process.hProcess) {
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

// The buttons' captions: a question's answers in the program's language, whatever the system's.
constexpr char kOk[] = "OK";
constexpr char kJa[] = "Ja";
constexpr char kNein[] = "Nein";
constexpr char kYes[] = "Yes";
constexpr char kNo[] = "No";

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
          {kJa, kNein},
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
          {kJa, kNein},
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
      {"the user declines to start the client: the buttons in the program's English",
       L"Tresolo.exe",
       L" C:\\Scans\\offer.doc",
       "Session.IsClientRunning.out=False",
       {{{"Kartiva starten?",
          "Kartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?",
          {kYes, kNo},
          "question"},
         "n"}},
       {"new Session", "Session.IsClientRunning(&Variant, &Long)", "del Session"},
       0},
  };
  for (const Case& c : cases) Check(c);
}

// A hundred files selected in the Explorer: the shell starts a hundred programs at once through the
// verb Menorix registers. The client is stopped, so the first instance asks, and the test answers
// once all hundred have been started: they meet as one batch behind the question.

constexpr wchar_t kImportVerb[] = L"In KV5-Briefkorb importieren";
constexpr wchar_t kStoreVerb[] = L"In KV5-Archiv ablegen";

// The two verbs of every file type as the .msi registers them (under the classes root, which Wine's
// shell reads), and taken away again.
class ShellVerbs {
 public:
  ShellVerbs() {
    for (const auto& [verb, program] : kVerbs) {
      std::wstring command = BinaryFolder() + L"\\" + program;
      if (command.find(L' ') != std::wstring::npos) command = L"\"" + command + L"\"";
      command += L" %1";
      const std::wstring key = Key(verb);
      EXPECT_EQ(Set(key + L"\\command", nullptr, command), ERROR_SUCCESS);
      EXPECT_EQ(Set(key, L"MultiSelectModel", L"Player"), ERROR_SUCCESS);
    }
  }
  ShellVerbs(const ShellVerbs&) = delete;
  ShellVerbs& operator=(const ShellVerbs&) = delete;
  ~ShellVerbs() {
    for (const auto& verb : kVerbs) RegDeleteTreeW(HKEY_CLASSES_ROOT, Key(verb.first).c_str());
  }

 private:
  static constexpr std::pair<const wchar_t*, const wchar_t*> kVerbs[] = {
      {kImportVerb, L"Mappix.exe"}, {kStoreVerb, L"Tresolo.exe"}};
  static std::wstring Key(const wchar_t* verb) { return std::wstring(L"*\\shell\\") + verb; }
  static LSTATUS Set(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    return RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), name, REG_SZ, value.c_str(),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
};

// `count` empty files in `folders` fresh folders, the same names in each, gone again with the
// object.
class Selection {
 public:
  Selection(std::size_t count, std::size_t folders) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    for (std::size_t f = 0; f < folders; ++f) {
      folders_.push_back(std::wstring(temp) + L"Kartiva Auswahl " +
                         std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(f));
      CreateDirectoryW(folders_.back().c_str(), nullptr);
    }
    for (std::size_t i = 0; i < count; ++i) {
      names_.push_back(L"file " + std::to_wstring(i / folders) + L".doc");
      paths_.push_back(folders_[i % folders] + L"\\" + names_.back());
      CloseHandle(CreateFileW(paths_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    for (const std::wstring& path : paths_) DeleteFileW(path.c_str());
    for (const std::wstring& folder : folders_) RemoveDirectoryW(folder.c_str());
  }
  const std::vector<std::wstring>& paths() const { return paths_; }
  // The folder of the file `i`, and its name there.
  const std::wstring& folder(std::size_t i) const { return folders_[i % folders_.size()]; }
  const std::wstring& name(std::size_t i) const { return names_[i]; }

 private:
  std::vector<std::wstring> folders_;
  std::vector<std::wstring> paths_;
  std::vector<std::wstring> names_;
};

// Starts the program in the file's folder with the file's name alone, as from a command prompt.
HANDLE StartInFolder(const wchar_t* program, const Selection& selection, std::size_t i) {
  const std::wstring path = BinaryFolder() + L"\\" + program;
  const PROCESS_INFORMATION process =
      StartProcess(path, L"\"" + path + L"\" " + selection.name(i), selection.folder(i).c_str());
  if (!process.hProcess) return nullptr;
  CloseHandle(process.hThread);
  return process.hProcess;
}

// A thread spinning on every core for as long as it lives, as other programs on a busy machine.
class CpuHogs {
 public:
  CpuHogs() {
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) {
      threads_.emplace_back([this] {
        while (!stop_) {
        }
      });
    }
  }
  CpuHogs(const CpuHogs&) = delete;
  CpuHogs& operator=(const CpuHogs&) = delete;
  ~CpuHogs() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> stop_ = false;
  std::vector<std::thread> threads_;
};

// Starts the verb on the file as the Explorer does; the process, or null. Wine now and then fails
// one start of a burst with ERROR_INTERNAL_ERROR and starts nothing: that start is tried again.
HANDLE StartVerb(const wchar_t* verb, const std::wstring& file) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpClass = L"*";  // Wine finds the verbs of every file type only with the class named
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.nShow = SW_SHOWNORMAL;
  for (int tries = 1;; ++tries) {
    if (ShellExecuteExW(&info)) return info.hProcess;
    if (GetLastError() != ERROR_INTERNAL_ERROR || tries == 3) return nullptr;
    Sleep(100);
  }
}

HWND ProgressWindowOf(DWORD processId) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"KartivaProgress", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

// The line the process's progress window shows, or empty while it shows none. The window answers
// between files only, so the question waits for it a while.
std::string ProgressLine(DWORD processId) {
  const HWND window = ProgressWindowOf(processId);
  if (!window) return {};
  wchar_t text[512] = L"";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(FindWindowExW(window, nullptr, L"Static", nullptr), WM_GETTEXT, 512,
                      reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 3000, &ignored);
  return Narrow(text);
}

enum class Interrupt { None, KillFirst, Cancel };

// How the selection is started, and beside what.
enum class Launch {
  Shell,              // through the shell's verb, every file in one folder
  RelativeInFolders,  // the program in each file's folder with the name alone, two folders
  ShellBesideHogs,    // through the verb, while every core is busy with other work
};

struct BatchCase {
  const char* what;
  const wchar_t* verb;
  const char* script;  // lines added to kKartiva and the stopped client
  // The progress window's line, as a regular expression. With the client running, the batch
  // begins before the whole selection has arrived, and its total grows as the rest comes.
  const char* progress;
  const char* summary;  // the one box at the end, as a regular expression; null: none
  DWORD exitCode;       // of every instance
  Interrupt interrupt = Interrupt::None;  // done once half the files went in
  std::size_t files = 100;
  Launch launch = Launch::Shell;
  int questions = 1;  // 0: the client runs already
};

void PrintTo(const BatchCase& c, std::ostream* out) { *out << c.what; }

constexpr char kLostReport[] =
    "Run-time error:\n\nThe instance that took over this file ended while it was doing it. The "
    "file may or may not have been taken in: look before you start it again.";

// What the test saw of a batch's hundred instances. Those still running when it ends, as after a
// failed start, are ended with it, so that no first instance of a failed case serves the next.
struct BatchRun {
  BatchRun() = default;
  BatchRun(const BatchRun&) = delete;
  BatchRun& operator=(const BatchRun&) = delete;
  ~BatchRun() {
    for (HANDLE process : processes) {
      if (!process) continue;
      TerminateProcess(process, 98);
      CloseHandle(process);
    }
  }

  std::vector<HANDLE> processes;
  std::size_t first = 0;  // the instance that asked
  int questions = 0;
  std::vector<Box> boxes;  // every other box
  std::set<std::string> progressLines;
  std::set<DWORD> progressShownBy;  // the processes that showed a progress window
  bool interrupted = false;
};

std::size_t AddFileCalls(const FakeToolkitFiles& files) {
  const Lines log = files.Log();
  return static_cast<std::size_t>(
      std::count_if(log.begin(), log.end(),
                    [](const std::string& line) { return line.rfind("Basket.AddFile(", 0) == 0; }));
}

// Answers the question once, after a moment in which the rest of the selection arrives, and every
// other box with Return; interrupts the batch half-way as the case says.
void Watch(const BatchCase& c, const FakeToolkitFiles& files, BatchRun& run) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
  for (;;) {
    std::size_t ended = 0;
    for (std::size_t i = 0; i < run.processes.size(); ++i) {
      HANDLE process = run.processes[i];
      if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        ++ended;
        continue;
      }
      const DWORD id = GetProcessId(process);
      if (const std::string line = ProgressLine(id); !line.empty()) {
        run.progressLines.insert(line);
        run.progressShownBy.insert(id);
      }
      const HWND box = FindBox(id);
      if (!box) continue;
      const Box shown = ReadWhenDrawn(process, box);
      if (shown.title == "Kartiva starten?") {
        run.first = i;
        if (++run.questions == 1) Sleep(2000);
      } else {
        run.boxes.push_back(shown);
      }
      if (!Press(box, "key Return") || !WaitUntilClosed(box)) {
        ADD_FAILURE() << "the box could not be answered: " << shown.text;
        return;
      }
    }
    if (ended == run.processes.size()) return;
    if (std::chrono::steady_clock::now() > deadline || run.questions > 1) {
      std::string stuck;
      for (std::size_t i = 0; i < run.processes.size(); ++i) {
        if (WaitForSingleObject(run.processes[i], 0) != WAIT_OBJECT_0) {
          stuck.append(" ").append(std::to_string(i)).append(i == run.first ? " (the first)" : "");
        }
      }
      ADD_FAILURE() << ended << " of " << run.processes.size() << " ended, " << run.questions
                    << " questions; still running:" << stuck;
      return;
    }
    if (c.interrupt != Interrupt::None && !run.interrupted && AddFileCalls(files) >= 50) {
      HANDLE first = run.processes[run.first];
      if (c.interrupt == Interrupt::KillFirst) {
        run.interrupted = TerminateProcess(first, 99);
      } else if (const HWND window = ProgressWindowOf(GetProcessId(first))) {
        run.interrupted = Press(window, "key Escape");
      }
    }
    Sleep(50);
  }
}

void CheckBatch(const BatchCase& c) {
  SCOPED_TRACE(c.what);
  ShellVerbs verbs;
  const Selection selection(c.files, c.launch == Launch::RelativeInFolders ? 2 : 1);
  FakeToolkitFiles files;
  // Each file takes a while, so that the batch outlasts the moment its progress shows.
  files.Script(std::string(kKartiva) +
               "Session.IsClientRunning.out=False\n"
               "Session.StartClient.then=Session.IsClientRunning.out=True\n"
               "Basket.AddFile.delay=30\n" +
               c.script);
  BatchRun run;
  std::optional<CpuHogs> hogs;
  if (c.launch == Launch::ShellBesideHogs) hogs.emplace();
  const wchar_t* program = c.verb == kImportVerb ? L"Mappix.exe" : L"Tresolo.exe";
  for (std::size_t i = 0; i < c.files; ++i) {
    run.processes.push_back(c.launch == Launch::RelativeInFolders
                                ? StartInFolder(program, selection, i)
                                : StartVerb(c.verb, selection.paths()[i]));
    ASSERT_NE(run.processes.back(), nullptr) << "error " << GetLastError();
  }
  Watch(c, files, run);
  hogs.reset();

  EXPECT_EQ(run.questions, c.questions);
  EXPECT_EQ(run.interrupted, c.interrupt != Interrupt::None);
  const std::regex progress(c.progress);
  EXPECT_FALSE(run.progressLines.empty());
  // One progress window for the selection (after a killed first instance, the others meet again).
  if (c.interrupt != Interrupt::KillFirst) {
    EXPECT_EQ(run.progressShownBy.size(), 1u);
  }
  for (const std::string& line : run.progressLines) {
    EXPECT_TRUE(std::regex_match(line, progress)) << line;
  }

  // A file whose first instance died while doing it is reported lost, never done again.
  const auto lost = static_cast<std::size_t>(std::count_if(
      run.boxes.begin(), run.boxes.end(), [](const Box& box) { return box.text == kLostReport; }));
  std::erase_if(run.boxes, [](const Box& box) { return box.text == kLostReport; });
  EXPECT_LE(lost, c.interrupt == Interrupt::KillFirst ? 1u : 0u);
  std::size_t notDone = 0;  // as the summary counts them
  if (c.summary) {
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(std::regex_match(run.boxes.front().text, std::regex(c.summary)))
        << run.boxes.front().text;
    notDone = std::stoul(run.boxes.front().text);
  } else {
    EXPECT_EQ(run.boxes, std::vector<Box>{});
  }

  std::multiset<DWORD> exitCodes;
  for (HANDLE process : run.processes) {
    TerminateProcess(process, 98);  // only those that still run: a failed run
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process, &exitCode);
    exitCodes.insert(exitCode);
  }
  const std::size_t killed = c.interrupt == Interrupt::KillFirst ? 1 : 0;
  EXPECT_EQ(exitCodes.count(c.exitCode), c.files - killed - lost);
  EXPECT_EQ(exitCodes.count(99), killed);
  EXPECT_EQ(exitCodes.count(1), lost);

  // One session for the batch (after a killed first instance, the others meet again, in as many
  // batches as their timing makes), and every file at most once: all of them, but for one lost
  // or those the user cancelled.
  std::map<std::string, int> added;
  int sessions = 0;
  int starts = 0;
  for (const std::string& line : files.Log()) {
    if (line.rfind("Basket.AddFile(", 0) == 0) ++added[line];
    sessions += line == "new Session";
    starts += line.rfind("Session.StartClient(", 0) == 0;
  }
  EXPECT_EQ(starts, c.questions);
  if (c.interrupt == Interrupt::KillFirst) {
    EXPECT_GE(sessions, 2);
  } else {
    EXPECT_EQ(sessions, 1);
  }
  for (const auto& [call, count] : added) EXPECT_EQ(count, 1) << call;
  std::set<std::string> selected;
  for (const std::wstring& path : selection.paths()) {
    selected.insert("Basket.AddFile(\"" + Narrow(path) + "\", \"\", &Variant, &Long)");
  }
  for (const auto& [call, count] : added) EXPECT_EQ(selected.count(call), 1u) << call;
  if (c.interrupt == Interrupt::Cancel) {
    // Cancel stops every file not yet done, and the one summary counts each of them.
    EXPECT_GE(added.size(), 50u);
    EXPECT_LT(added.size(), c.files);
    EXPECT_EQ(added.size() + notDone, c.files);
  } else {
    EXPECT_GE(added.size(), c.files - lost);
  }
}

// Each selection in a test process of its own, as the Explorer's selections come to a fresh
// desktop.
class Batches : public Programs, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(Batches, ASelectionOfAnySizeIsOneBatch) { CheckBatch(GetParam()); }

INSTANTIATE_TEST_SUITE_P(
    Mappix, Batches,
    ::testing::Values(
        // Every file going in without a box is the 300 files' case; Cancel is the 200 files'.
        BatchCase{
            "AddFile fails: one summary, every instance ends with 2", kImportVerb,
            "Basket.AddFile.code=255", R"(Datei \d+ von 100: file \d+\.doc)",
            R"(100 von 100 Dateien wurden nicht importiert:(\nfile \d+\.doc: Fehler beim Datei-Import: FF){19}\n\.\.\. und 81 weitere)",
            2},
        BatchCase{"the first instance killed half-way: the others do their files", kImportVerb, "",
                  R"(Datei \d+ von \d+: file \d+\.doc)", nullptr, 0, Interrupt::KillFirst},
        BatchCase{"300 files: one batch, one progress", kImportVerb, "",
                  R"(Datei \d+ von 300: file \d+\.doc)", nullptr, 0, Interrupt::None, 300},
        BatchCase{
            "200 files, Cancel half-way: everything not yet done stops", kImportVerb, "",
            R"(Datei \d+ von 200: file \d+\.doc)",
            R"(\d+ von 200 Dateien wurden nicht importiert:(\nfile \d+\.doc: abgebrochen)+(\n\.\.\. und \d+ weitere)?)",
            0, Interrupt::Cancel, 200},
        BatchCase{"the client running, beside CPU hogs on every core: one batch all the same",
                  kImportVerb, "Session.IsClientRunning.out=True\n",
                  R"(Datei \d+ von \d+: file \d+\.doc)", nullptr, 0, Interrupt::None, 100,
                  Launch::ShellBesideHogs, 0},
        BatchCase{"relative names in two folders: each file from its own folder", kImportVerb,
                  "Session.IsClientRunning.out=True\n", R"(Datei \d+ von \d+: file \d+\.doc)",
                  nullptr, 0, Interrupt::None, 40, Launch::RelativeInFolders, 0},
        BatchCase{"beside CPU hogs on every core, the answer a few seconds late", kImportVerb, "",
                  R"(Datei \d+ von 100: file \d+\.doc)", nullptr, 0, Interrupt::None, 100,
                  Launch::ShellBesideHogs}));

INSTANTIATE_TEST_SUITE_P(
    Tresolo, Batches,
    ::testing::Values(
        BatchCase{"every file goes in, without a box", kStoreVerb, "",
                  R"(File \d+ of 100: file \d+\.doc)", nullptr, 0},
        BatchCase{
            "AddFile fails: one summary, every instance ends with 2", kStoreVerb,
            "Basket.AddFile.code=255", R"(File \d+ of 100: file \d+\.doc)",
            R"(100 of 100 files could not be stored:(\nfile \d+\.doc: Unable to add the file to the basket: FF){19}\n\.\.\. and 81 more)",
            2}));

// Each program carries its version, its manifest and its icon.
TEST(ProgramResources, VersionManifestAndIcon) {
  struct Expected {
    const wchar_t* program;
    DWORD versionHigh;
    DWORD versionLow;
  };
  for (const Expected& e :
       {Expected{L"Mappix.exe", MAKELONG(1, 1), 0}, Expected{L"Tresolo.exe", MAKELONG(1, 1), 0},
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
