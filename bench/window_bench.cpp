// How soon the first window maps: Menorix against a bare Qt program's frameless window, also with
// a line of text, all on the X display that DISPLAY names (scripts/bench.sh starts an Xvfb of its
// own), in a runtime folder of the benchmark's own. Menorix's first start asks a child whether Qt
// starts; the later starts find the good answer remembered.
//
//   window_bench [runs]      (default 30 runs of each)

#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/timing.h"

namespace {

namespace fs = std::filesystem;
using namespace kartiva::bench;

// Milliseconds from the start of `program` until a window of it maps; the program is then ended.
double MillisToMap(Display* display, const std::vector<std::string>& command) {
  XSync(display, True);  // forget the maps of earlier runs
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = Spawn(command);
  XEvent event{};
  do {
    XNextEvent(display, &event);
  } while (event.type != MapNotify);
  const double millis =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return millis;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 30;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "window_bench: no X display (DISPLAY)\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  const fs::path folder = fs::temp_directory_path() / ("kartiva-bench-" + std::to_string(getpid()));
  fs::create_directories(folder / "runtime");
  fs::permissions(folder / "runtime", fs::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", (folder / "runtime").c_str(), 1);
  setenv("KARTIVA_HOME", (folder / "store").c_str(), 1);
  unsetenv("KARTIVA_UI");

  const double first = MillisToMap(display, {MENORIX_PATH});
  std::vector<double> menorix, bare, bareText;
  for (int i = 0; i < runs; ++i) {
    menorix.push_back(MillisToMap(display, {MENORIX_PATH}));
    bare.push_back(MillisToMap(display, {BARE_WINDOW_PATH}));
    bareText.push_back(MillisToMap(display, {BARE_WINDOW_PATH, "text"}));
  }
  std::printf(
      "first window mapped (median of %d): Menorix %.1f ms, bare Qt window %.1f ms "
      "(ratio %.2f), bare Qt window with a line of text %.1f ms (ratio %.2f); Menorix's "
      "first start (asks whether Qt starts) %.1f ms\n",
      runs, Median(menorix), Median(bare), Median(menorix) / Median(bare), Median(bareText),
      Median(menorix) / Median(bareText), first);
  XCloseDisplay(display);
  fs::remove_all(folder);
  return 0;
}
