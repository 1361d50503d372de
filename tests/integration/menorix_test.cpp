// Runs the built Menorix on the console, and checks when the programs load Qt: only when they show
// something on a display that is there, and the console serves whenever Qt cannot; a box that Qt
// showed is answered as a user answers it, and the program ends with its status.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "localstore/store.h"
#include "tests/support/process.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;

const std::string kMenu =
    "Menorix - V. 1.1 - Konfiguration\n"
    "  a  Aktivieren: Fügt dem Kontextmenü des Dateimanagers Einträge hinzu\n"
    "  d  Deaktivieren: Entfernt die Einträge im Kontextmenü des Dateimanagers\n"
    "  x  ...beendet das Programm\n"
    "> ";

bool LoadsQt(const ProcessResult& result) {
  return result.errors.find("libQt6Widgets") != std::string::npos;
}

// Whether the process has ended; it stays to be reaped.
bool Ended(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// xdotool on `display`: `search` finds the shown window titled `title` (waiting for it with
// "--sync" among `options`), and `action` is done in it.
ProcessSpec Xdotool(const std::string& display, const std::vector<std::string>& options,
                    const std::string& title, const std::vector<std::string>& action) {
  ProcessSpec spec{.program = "/usr/bin/xdotool",
                   .arguments = {"search", "--onlyvisible"},
                   .environment = {{"DISPLAY", display}},
                   .input = ""};
  spec.arguments.insert(spec.arguments.end(), options.begin(), options.end());
  spec.arguments.insert(spec.arguments.end(), {"--name", title});
  spec.arguments.insert(spec.arguments.end(), action.begin(), action.end());
  return spec;
}

// Runs the program of `spec` and does `action` (xdotool's commands) in its window titled `title`,
// as a user would, until it has ended; at most 30 seconds. A watcher connected to the display
// before the program starts waits for the window, and only then does the action begin: Qt ends a
// program that fails to connect to its display, which happened now and then while another
// client connected at the same moment. xdotool's reports go to `folder`.
pid_t StartAndAct(const ProcessSpec& spec, const fs::path& programFolder,
                  const std::string& display, const std::string& title,
                  const std::vector<std::string>& action, const fs::path& folder) {
  fs::create_directories(folder / "watch");
  const pid_t watcher = Start(Xdotool(display, {"--sync"}, title, {}), folder / "watch");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const pid_t pid = Start(spec, programFolder);
  Finish(watcher, folder / "watch", 30);
  for (int i = 0; i < 150 && !Ended(pid); ++i) {
    RunProcess(Xdotool(display, {}, title, action), folder);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return pid;
}

const std::vector<std::string> kPressReturn{"windowfocus", "--sync", "key", "Return"};

// An X server of the test's own, numbered by the server itself so that parallel runs never collide.
class XServer {
 public:
  explicit XServer(fs::path folder) : folder_(std::move(folder)) {
    fs::create_directories(folder_);
    pid_ =
        Start({.program = "/usr/bin/Xvfb",
               .arguments = {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"},
               .environment = {},
               .input = ""},
              folder_);
    for (int i = 0; i < 1000 && display_.empty(); ++i) {
      const std::string number = ReadFile(folder_ / "stdout");
      if (number.find('\n') != std::string::npos) {
        display_ = ":" + number.substr(0, number.find('\n'));
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
  ~XServer() {
    ::kill(pid_, SIGTERM);  // lets it remove its lock and socket
    Finish(pid_, folder_, 10);
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  // ":<number>", or "" when the server did not start.
  const std::string& display() const { return display_; }

 private:
  fs::path folder_;
  pid_t pid_ = -1;
  std::string display_;
};

class MenorixProgram : public ::testing::Test {
 protected:
  fs::path registryFile() const { return temp_.path() / "classes.reg"; }

  ProcessSpec Spec(std::string program, std::string input,
                   std::map<std::string, std::string> environment = {}) const {
    environment.emplace("KARTIVA_HOME", (temp_.path() / "home").string());
    environment.emplace("KARTIVA_REGISTRY", registryFile().string());
    // The file managers' entries go to a home of the test's own.
    environment.emplace("HOME", (temp_.path() / "user").string());
    environment.emplace("XDG_DATA_HOME", "");
    environment.emplace("XDG_CONFIG_HOME", "");
    // A runtime folder of the test's own: the meeting places and the client check's lock of the
    // programs it starts stay in the test's folder, never in the machine's /tmp.
    const fs::path runtime = temp_.path() / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    environment.emplace("XDG_RUNTIME_DIR", runtime.string());
    return {.program = std::move(program),
            .arguments = {},
            .environment = environment,
            .input = std::move(input)};
  }

  // A copy of a program in a folder of its own, without the Qt module beside it.
  std::string Alone(const std::string& program) const {
    const fs::path folder = temp_.path() / "alone";
    fs::create_directories(folder);
    const fs::path copy = folder / fs::path(program).filename();
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    return copy.string();
  }

  TempFolder temp_;
};

TEST_F(MenorixProgram, ConsoleOffersTheActionsAndRunsTheChosenOne) {
  const std::string folder = fs::path(MENORIX_PATH).parent_path().string();
  const std::string command = "@=\"" + folder + "\\\\Mappix.exe %1\"";
  const struct {
    std::string input;
    std::string confirmation;
    bool registered;  // the import entry's command is in the registry file afterwards
  } runs[] = {
      {"a\n", "Menorix\nFunktion wurde dem Kontextmenü hinzugefügt.\n", true},
      {"x\n", "", true},
      {"", "", true},
      {"Deaktivieren\n", "Menorix\nFunktion wurde aus dem Kontextmenü entfernt.\n", false},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE("input " + run.input);
    const ProcessResult result =
        RunProcess(Spec(MENORIX_PATH, run.input, {{"KARTIVA_UI", "console"}}), temp_.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors, kMenu + run.confirmation);
    EXPECT_EQ(ReadFile(registryFile()).find(command) != std::string::npos, run.registered);
    EXPECT_EQ(fs::exists(temp_.path() /
                         "user/.local/share/nautilus/scripts/In KV5-Briefkorb importieren"),
              run.registered);
  }
}

TEST_F(MenorixProgram, QtIsLoadedOnlyToShowSomethingOnADisplay) {
  ASSERT_EQ(localstore::Store(temp_.path() / "home").Initialise(), 0);
  const fs::path source = temp_.path() / "offer.txt";
  WriteFile(source, "offer");
  const XServer server(temp_.path() / "x");
  ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
  // Set whole, so that nothing of the environment the tests run in decides.
  const auto platform = [&](const std::string& name, const std::string& display) {
    return std::map<std::string, std::string>{
        {"QT_QPA_PLATFORM", name}, {"DISPLAY", display}, {"KARTIVA_UI", ""}};
  };
  const std::map<std::string, std::string> display = platform("", server.display());
  const std::map<std::string, std::string> none{{"QT_QPA_PLATFORM", ""}, {"KARTIVA_UI", ""}};
  const std::string importErrorTitle = "Fehler beim Import";
  const std::string importError =
      importErrorTitle + "\nEs ist ein Fehler beim Import aufgetreten!\n";
  const struct {
    std::string name;
    std::string program;
    std::vector<std::string> arguments;
    std::map<std::string, std::string> environment;
    std::string input;
    std::string console;  // what the console shows, when Qt is not loaded
    bool loadsQt;
  } cases[] = {
      {"silent Mappix with a display", MAPPIX_PATH, {source.string()}, display, "", "", false},
      {"silent Tresolo with a display", TRESOLO_PATH, {source.string()}, display, "", "", false},
      {"Mappix box with a display", MAPPIX_PATH, {}, display, "", "", true},
      {"Mappix box, X platform first of a list",
       MAPPIX_PATH,
       {},
       platform("xcb;bogus", server.display()),
       "",
       "",
       true},
      {"Mappix box, console chosen",
       MAPPIX_PATH,
       {},
       {{"KARTIVA_UI", "console"}, {"QT_QPA_PLATFORM", "offscreen"}},
       "",
       importError,
       false},
      {"Mappix box, display that does not answer",
       MAPPIX_PATH,
       {},
       {{"DISPLAY", ":97"}, {"QT_QPA_PLATFORM", ""}, {"KARTIVA_UI", ""}},
       "",
       importError,
       false},
      {"Mappix box, X platform asked for, display that does not answer",
       MAPPIX_PATH,
       {},
       {{"DISPLAY", ":97"}, {"QT_QPA_PLATFORM", "xcb"}, {"KARTIVA_UI", ""}},
       "",
       importError,
       false},
      {"Mappix box, no Qt module beside it",
       Alone(MAPPIX_PATH),
       {},
       display,
       "",
       importError,
       false},
      // Qt aborts where its platform cannot start, and shows nothing on offscreen and minimal.
      {"Mappix box, linuxfb", MAPPIX_PATH, {}, platform("linuxfb", ":97"), "", importError, false},
      {"Mappix box, eglfs", MAPPIX_PATH, {}, platform("eglfs", ":97"), "", importError, false},
      {"Mappix box, bogus", MAPPIX_PATH, {}, platform("bogus", ":97"), "", importError, false},
      {"Mappix box, X platform without its display, then a bogus one",
       MAPPIX_PATH,
       {},
       platform("xcb;bogus", ":97"),
       "",
       importError,
       false},
      {"Mappix box, offscreen",
       MAPPIX_PATH,
       {},
       platform("offscreen", server.display()),
       "",
       importError,
       false},
      {"Mappix box, minimal", MAPPIX_PATH, {}, platform("minimal", ""), "", importError, false},
      {"Menorix, offscreen",
       MENORIX_PATH,
       {},
       platform("offscreen", server.display()),
       "x\n",
       kMenu,
       false},
      {"Menorix without a display", MENORIX_PATH, {}, none, "x\n", kMenu, false},
      {"Menorix, no Qt module beside it", Alone(MENORIX_PATH), {}, display, "x\n", kMenu, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessSpec spec = Spec(c.program, c.input, c.environment);
    spec.arguments = c.arguments;
    spec.environment["LD_DEBUG"] = "libs";
    // A box that Qt shows waits for the user, who answers it.
    const pid_t pid = c.loadsQt
                          ? StartAndAct(spec, temp_.path(), server.display(), importErrorTitle,
                                        kPressReturn, temp_.path() / "answer")
                          : Start(spec, temp_.path());
    const ProcessResult result = Finish(pid, temp_.path(), 30);
    ASSERT_NE(result.errors.find("calling init"), std::string::npos)
        << "the loader reported nothing";
    EXPECT_EQ(LoadsQt(result), c.loadsQt);
    // The import error is a failure box, which the exit status tells a script, whether Qt or the
    // console showed it: Qt's application ends with the program, not in a crash at its exit.
    EXPECT_EQ(result.exitStatus, c.loadsQt || c.console == importError ? 2 : 0);
    if (c.loadsQt) continue;
    for (const char* gui : {"libX11", "libxcb", "libwayland", "libgtk", "libGL"}) {
      EXPECT_EQ(result.errors.find(gui), std::string::npos) << gui;
    }
    // The loader's report surrounds what the program wrote.
    EXPECT_NE(result.errors.find(c.console), std::string::npos) << c.console;
  }
  // The configurator's close button ends the program from within Qt's event loop: the end passes
  // out of the Qt module, which has a C++ runtime of its own, and the program ends with status 0.
  // The button is at the top right of the 312 pixels wide window.
  const pid_t pid = StartAndAct(
      Spec(MENORIX_PATH, "", display), temp_.path(), server.display(), "Menorix",
      {"mousemove", "--window", "%1", "296", "14", "click", "1"}, temp_.path() / "answer");
  EXPECT_EQ(Finish(pid, temp_.path(), 30).exitStatus, 0);
}

}  // namespace
}  // namespace kartiva::testing
