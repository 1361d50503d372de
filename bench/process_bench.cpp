// Whole-process benchmarks of the one-shot tools against an initialised local store:
//   - a silent Mappix and a silent Tresolo run on a 4 KiB file, each against cp of the same file
//     (medians, and their ratio);
//   - the peak memory of each program against a bare C++ program;
//   - 100 imports started at once, as a file manager starts them for 100 selected files.
//
//   process_bench [runs]      (default 200 runs of each)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "localstore/store.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace kartiva::bench;

long PeakKiB(std::vector<std::string> argv, const fs::path& scratch) {
  const fs::path output = scratch / "peak";
  argv.insert(argv.begin(), {PEAK_RSS_PATH, output.string()});
  Reap(Spawn(std::move(argv)));
  long peak = 0;
  std::ifstream(output) >> peak;
  return peak;
}

// One program's runs: the times of all, the highest peak memory of some.
struct Series {
  std::vector<std::string> command;
  std::vector<double> micros{};
  long peakKiB = 0;
};

void EmptyFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const fs::path folder = fs::temp_directory_path() / ("kartiva-bench-" + std::to_string(getpid()));
  const fs::path home = folder / "home";
  fs::create_directories(folder);
  if (kartiva::localstore::Store(home).Initialise() != 0) return 1;
  setenv("KARTIVA_HOME", home.c_str(), 1);
  setenv("KARTIVA_UI", "console", 1);
  const fs::path source = folder / "offer.pdf";
  std::ofstream(source, std::ios::binary) << std::string(4096, 'k');
  const fs::path basket = home / "baskets" / kartiva::localstore::kDefaultBasket;
  const fs::path archive = home / "archives" / kartiva::localstore::kDefaultArchive;
  const std::string copy = (folder / "copy.pdf").string();

  Series mappix{{MAPPIX_PATH, source.string()}}, tresolo{{TRESOLO_PATH, source.string()}},
      cp{{"/bin/cp", source.string(), copy}}, bare{{BARE_PROGRAM_PATH}};
  Series* all[] = {&mappix, &tresolo, &cp, &bare};
  for (int i = 0; i < runs; ++i) {
    for (Series* series : all) {
      series->micros.push_back(TimeOnce(series->command));
      if (i % 10 == 0)
        series->peakKiB = std::max(series->peakKiB, PeakKiB(series->command, folder));
    }
    if (i % 50 == 49) EmptyFolder(basket);  // a basket that users keep small
  }

  EmptyFolder(basket);
  constexpr int kParallel = 100;
  const auto start = Clock::now();
  std::vector<pid_t> imports;
  for (int i = 0; i < kParallel; ++i) imports.push_back(Spawn({MAPPIX_PATH, source.string()}));
  for (const pid_t pid : imports) Reap(pid);
  const double parallelMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const auto documents = std::distance(fs::directory_iterator(basket), fs::directory_iterator());
  fs::remove_all(folder);
  if (documents != kParallel) {
    std::fprintf(stderr, "%ld documents after %d parallel imports\n", static_cast<long>(documents),
                 kParallel);
    return 1;
  }

  const double cpMedian = Median(cp.micros);
  std::printf("runs each: %d, on %ld cores\n\n", runs, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-20s %10s %8s %10s\n", "program", "median", "vs cp", "peak RSS");
  const auto row = [&](const char* name, const Series& series) {
    std::printf("%-20s %7.0f us %7.2fx %7ld KiB\n", name, Median(series.micros),
                Median(series.micros) / cpMedian, series.peakKiB);
  };
  row("Mappix (silent)", mappix);
  row("Tresolo (silent)", tresolo);
  row("cp", cp);
  row("bare C++ program", bare);
  std::printf("\n%d imports started at once: %.0f ms for all, %d documents\n", kParallel,
              parallelMs, kParallel);
  return 0;
}
