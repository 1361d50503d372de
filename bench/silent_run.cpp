// Whole process against whole process: a silent Mappix import of a 4 KiB file into an initialised
// local store, against cp of the same file. Prints the medians and their ratio.
//
//   silent_run_bench [runs]      (run from the build folder's bench/; default 300 runs each)

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "localstore/store.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double RunOnce(std::vector<std::string> argv) {
  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double micros = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", pointers[0]);
    std::exit(1);
  }
  return micros;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 300;
  const fs::path folder = fs::temp_directory_path() / ("kartiva-bench-" + std::to_string(getpid()));
  const fs::path home = folder / "home";
  fs::create_directories(folder);
  if (kartiva::localstore::Store(home).Initialise() != 0) return 1;
  setenv("KARTIVA_HOME", home.c_str(), 1);
  setenv("KARTIVA_UI", "console", 1);
  const fs::path source = folder / "offer.pdf";
  std::ofstream(source, std::ios::binary) << std::string(4096, 'k');
  const fs::path basket = home / "baskets" / kartiva::localstore::kDefaultBasket;

  std::vector<double> mappix, copy;
  for (int i = 0; i < runs; ++i) {
    mappix.push_back(RunOnce({MAPPIX_PATH, source.string()}));
    copy.push_back(RunOnce({"/bin/cp", source.string(), (folder / "copy.pdf").string()}));
    if (i % 50 == 49) {  // a basket that users keep small
      for (const auto& entry : fs::directory_iterator(basket)) fs::remove(entry.path());
    }
  }
  fs::remove_all(folder);

  const double mappixMedian = Median(mappix), copyMedian = Median(copy);
  std::printf("runs each:          %d\n", runs);
  std::printf("Mappix (silent):    %.0f us median\n", mappixMedian);
  std::printf("cp:                 %.0f us median\n", copyMedian);
  std::printf("ratio Mappix / cp:  %.2f\n", mappixMedian / copyMedian);
  return 0;
}
