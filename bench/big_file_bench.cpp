// Whole-process benchmark of the one-shot tools on a 100 MiB file against an initialised local
// store, each against the plain tool that does the same work:
//   - Mappix (a copy into the basket) against cp of the same file;
//   - Tresolo (into the basket and on into the archive, which must reach the disk) against a
//     durable copy, dd bs=1M conv=fsync.
//
//   big_file_bench [runs]      (default 9 runs of each, alternating)

#include <unistd.h>

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
using namespace kartiva::bench;

constexpr std::size_t kMiB = 1 << 20;

void WriteBigFile(const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  std::string block(kMiB, '\0');
  for (std::size_t i = 0; i < 100; ++i) {
    for (std::size_t j = 0; j < block.size(); j += 4096) block[j] = static_cast<char>(i + j);
    out << block;
  }
}

void Print(const char* name, const std::vector<double>& micros, const char* against,
           const std::vector<double>& base) {
  std::printf("%-12s %8.1f ms   %-30s %8.1f ms   %5.2fx\n", name, Median(micros) / 1000, against,
              Median(base) / 1000, Median(micros) / Median(base));
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 9;
  const fs::path folder =
      fs::temp_directory_path() / ("kartiva-big-bench-" + std::to_string(getpid()));
  const fs::path home = folder / "home";
  fs::create_directories(folder);
  if (kartiva::localstore::Store(home).Initialise() != 0) return 1;
  setenv("KARTIVA_HOME", home.c_str(), 1);
  setenv("KARTIVA_UI", "console", 1);
  const fs::path source = folder / "scan.tif";
  WriteBigFile(source);

  // Each run writes a new file, as each import does, and starts with nothing left to write back,
  // so that no run pays for the write-back of the one before it.
  const auto timed = [](std::vector<std::string> command) {
    ::sync();
    return TimeOnce(std::move(command));
  };
  std::vector<double> mappix, cp, tresolo, dd;
  for (int i = 0; i < runs; ++i) {
    const std::string copy = (folder / ("copy" + std::to_string(i))).string();
    cp.push_back(timed({"/bin/cp", source.string(), copy + ".cp"}));
    mappix.push_back(timed({MAPPIX_PATH, source.string()}));
    dd.push_back(timed({"/bin/dd", "if=" + source.string(), "of=" + copy + ".dd", "bs=1M",
                        "conv=fsync", "status=none"}));
    tresolo.push_back(timed({TRESOLO_PATH, source.string()}));
  }
  fs::remove_all(folder);

  std::printf("100 MiB file, medians of %d runs each\n\n", runs);
  Print("Mappix", mappix, "cp", cp);
  Print("Tresolo", tresolo, "dd bs=1M conv=fsync", dd);
  return 0;
}
