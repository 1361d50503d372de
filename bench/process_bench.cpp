// Whole-process benchmarks of the one-shot tools against an initialised local store:
//   - a silent Mappix and a silent Tresolo run on a 4 KiB file, each against cp of the same file
//     and against its durable floor (durable_floor.c) (medians, and their ratios);
//   - the peak memory of each program against a bare C++ program;
//   - 100 imports started at once, as a file manager starts them for 100 selected files, against
//     100 runs of the Mappix floor one after another;
//   - the size curve: the same silent runs in stores of 0, 1,000, 10,000 and 100,000 documents.
//
//   process_bench [runs] [curve runs]      (default 200 runs of each, 15 per store size; 0 curve
//                                           runs leave the size curve out)
//
// Every timed run starts with the write-back of the runs before it settled (sync), so that no run
// pays for another, and the order of the programs turns from round to round. For the same reason
// the Tresolo runs have a store of their own, and no basket is emptied while the runs are timed:
// ext4 without a journal skips the inodes freed in the last minutes when it makes a new file in
// their part of the disk, so the basket copies that Tresolo removes (or a basket emptied) made
// each following Mappix copy in that basket dearer (120 us here), while its floor wrote elsewhere.
// The tools meet in a session's runtime folder, as on a desktop (SessionRuntimeFolder). It ends
// with the three durable targets, each a whole process (or a hundred) against the whole floor
// programs, and the load average before and after: other work on the machine meets the tools and
// their floors alike, but widens the spread.

#include <sqlite3.h>
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
#include "localstore/numbering.h"
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

// One program's runs: the times of all, the highest peak memory of some. A floor is given a new
// name for its copy on each run.
struct Series {
  std::vector<std::string> command;
  bool named = false;
  fs::path home{};  // the store it works on, where it is not the benchmark's own
  std::vector<double> micros{};
  long peakKiB = 0;

  std::vector<std::string> Run(const std::string& name) const {
    std::vector<std::string> run = command;
    if (named) run.push_back(name);
    return run;
  }
};

void EmptyFolder(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) fs::remove(entry.path());
  }
}

std::string Load() {
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  return load.substr(0, load.find(' ', load.find(' ', load.find(' ') + 1) + 1));
}

// How many toolkit sessions opened a basket, as the store's journal tells: one per batch.
long BasketsOpened(const fs::path& home) {
  std::ifstream journal(home / "journal.log");
  long opened = 0;
  for (std::string line; std::getline(journal, line);) opened += line.rfind("OpenBasket ", 0) == 0;
  return opened;
}

void PrintTarget(const char* what, double ratio, double most) {
  std::printf("  %-52s %5.2fx  (at most %.2fx: %s)\n", what, ratio, most,
              ratio <= most ? "met" : "NOT MET");
}

double TimeSettled(std::vector<std::string> command) {
  ::sync();
  return TimeOnce(std::move(command));
}

// Puts `count` documents into `folder` and sets its counter past them.
void FillFolder(const fs::path& folder, int count) {
  for (int i = 1; i <= count; ++i) {
    std::ofstream(folder / kartiva::localstore::DocumentName(static_cast<unsigned long>(i)))
        << "document " << i << '\n';
  }
  std::ofstream(kartiva::localstore::CounterFile(folder))
      << kartiva::localstore::DocumentName(static_cast<unsigned long>(count)).substr(0, 8) << '\n';
}

// What years of use leave, made in seconds: half the documents in the basket, half in the
// archive with their rows, written in one transaction.
void FillStore(const fs::path& home, int documents) {
  const fs::path basket = home / "baskets" / kartiva::localstore::kDefaultBasket;
  const fs::path archive = home / "archives" / kartiva::localstore::kDefaultArchive;
  FillFolder(basket, documents / 2);
  FillFolder(archive, documents / 2);
  sqlite3* db = nullptr;
  sqlite3_open((archive / "index.sqlite").c_str(), &db);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO documents (file, document_name, index_string, mode, use_mask,"
                     " delete_after, stored_at) VALUES (?1, ?1, '', 1, 1, 1, '')",
                     -1, &insert, nullptr);
  for (int i = 1; i <= documents / 2; ++i) {
    const std::string file = kartiva::localstore::DocumentName(static_cast<unsigned long>(i));
    sqlite3_bind_text(insert, 1, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

// One silent Mappix and one silent Tresolo of a 4 KiB file in stores of growing size.
void PrintSizeCurve(const fs::path& folder, const fs::path& source, int runs) {
  std::printf("\nsilent runs of a 4 KiB file by store size, medians of %d\n\n", runs);
  std::printf("%10s %10s %10s %8s %8s %10s %10s\n", "documents", "Mappix", "Tresolo", "M / cp",
              "T / cp", "M / empty", "T / empty");
  double emptyMappix = 0;
  double emptyTresolo = 0;
  for (const int documents : {0, 1000, 10000, 100000}) {
    const fs::path home = folder / ("store" + std::to_string(documents));
    if (kartiva::localstore::Store(home).Initialise() != 0) std::exit(1);
    FillStore(home, documents);
    setenv("KARTIVA_HOME", home.c_str(), 1);
    const std::vector<std::string> mappixRun{MAPPIX_PATH, source.string()};
    const std::vector<std::string> tresoloRun{TRESOLO_PATH, source.string()};
    // The first runs meet a store they have not stamped yet and read it whole once.
    TimeOnce(mappixRun);
    TimeOnce(tresoloRun);
    std::vector<double> mappix, tresolo, cp;
    for (int i = 0; i < runs; ++i) {
      cp.push_back(TimeSettled({"/bin/cp", source.string(), (folder / "copy.pdf").string()}));
      mappix.push_back(TimeSettled(mappixRun));
      tresolo.push_back(TimeSettled(tresoloRun));
    }
    if (documents == 0) {
      emptyMappix = Median(mappix);
      emptyTresolo = Median(tresolo);
    }
    std::printf("%10d %7.2f ms %7.2f ms %7.2fx %7.2fx %9.2fx %9.2fx\n", documents,
                Median(mappix) / 1000, Median(tresolo) / 1000, Median(mappix) / Median(cp),
                Median(tresolo) / Median(cp), Median(mappix) / emptyMappix,
                Median(tresolo) / emptyTresolo);
    fs::remove_all(home);
  }
}

// The runtime folder of a desktop session, where the tools meet: a tmpfs (/run/user/<uid>). Run
// outside of a session (a console, CI), the benchmark lends them one in /dev/shm as a session
// would; else they would meet in /tmp, on the disk, where no desktop has them meet.
class SessionRuntimeFolder {
 public:
  SessionRuntimeFolder() {
    if (std::getenv("XDG_RUNTIME_DIR") != nullptr) return;
    folder_ = fs::path("/dev/shm") / ("kartiva-bench-" + std::to_string(getpid()));
    fs::create_directory(folder_);
    fs::permissions(folder_, fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
  }
  ~SessionRuntimeFolder() {
    if (!folder_.empty()) fs::remove_all(folder_);
  }
  SessionRuntimeFolder(const SessionRuntimeFolder&) = delete;
  SessionRuntimeFolder& operator=(const SessionRuntimeFolder&) = delete;

 private:
  fs::path folder_;
};

}  // namespace

int main(int argc, char** argv) {
  const SessionRuntimeFolder runtimeFolder;
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  const int curveRuns = argc > 2 ? std::atoi(argv[2]) : 15;
  const std::string loadBefore = Load();
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

  // The floors write beside a store of their own: a plain folder, and an archive with its index.
  const fs::path floorHome = folder / "floor";
  const fs::path floorBasket = folder / "floor basket";
  const fs::path floorArchive = floorHome / "archives" / kartiva::localstore::kDefaultArchive;
  if (kartiva::localstore::Store(floorHome).Initialise() != 0) return 1;
  fs::create_directories(floorBasket);

  const fs::path tresoloHome = folder / "tresolo home";
  if (kartiva::localstore::Store(tresoloHome).Initialise() != 0) return 1;
  Series mappix{{MAPPIX_PATH, source.string()}},
      tresolo{{TRESOLO_PATH, source.string()}, false, tresoloHome},
      cp{{"/bin/cp", source.string(), copy}}, bare{{BARE_PROGRAM_PATH}},
      mappixFloor{{MAPPIX_FLOOR_PATH, source.string(), floorBasket.string()}, true},
      tresoloFloor{{TRESOLO_FLOOR_PATH, source.string(), floorArchive.string()}, true};
  Series* all[] = {&mappix, &tresolo, &cp, &bare, &mappixFloor, &tresoloFloor};
  constexpr std::size_t kSeries = std::size(all);
  for (int i = 0; i < runs; ++i) {
    // The order turns by one each round: every program follows every other as often, so that
    // what one leaves behind (the caches it filled, the disk it kept busy) meets each alike.
    for (std::size_t k = 0; k < kSeries; ++k) {
      Series* series = all[(static_cast<std::size_t>(i) + k) % kSeries];
      const std::string name = kartiva::localstore::DocumentName(static_cast<unsigned long>(i + 1));
      setenv("KARTIVA_HOME", (series->home.empty() ? home : series->home).c_str(), 1);
      series->micros.push_back(TimeSettled(series->Run(name)));
      if (i % 10 == 0)
        series->peakKiB = std::max(series->peakKiB, PeakKiB(series->Run("peak " + name), folder));
    }
  }
  setenv("KARTIVA_HOME", home.c_str(), 1);

  EmptyFolder(basket);
  constexpr int kParallel = 100;
  EmptyFolder(floorBasket);
  ::sync();
  auto start = Clock::now();
  for (int i = 0; i < kParallel; ++i) Reap(Spawn(mappixFloor.Run(std::to_string(i))));
  const double floorsMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  ::sync();
  const long sessionsBefore = BasketsOpened(home);
  start = Clock::now();
  std::vector<pid_t> imports;
  for (int i = 0; i < kParallel; ++i)
    imports.push_back(Spawn({MAPPIX_PATH, source.string()}, true));
  for (const pid_t pid : imports) Reap(pid);
  const double parallelMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  const auto documents =
      std::count_if(fs::directory_iterator(basket), fs::directory_iterator(),
                    [](const fs::directory_entry& entry) { return entry.is_regular_file(); });
  if (documents != kParallel) {
    std::fprintf(stderr, "%ld documents after %d parallel imports\n", static_cast<long>(documents),
                 kParallel);
    fs::remove_all(folder);
    return 1;
  }

  const double cpMedian = Median(cp.micros);
  std::printf("runs each: %d, on %ld cores\n\n", runs, sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-20s %10s %8s %10s %10s\n", "program", "median", "vs cp", "vs floor", "peak RSS");
  const auto row = [&](const char* name, const Series& series, const Series& floor) {
    std::printf("%-20s %7.0f us %7.2fx %9.2fx %7ld KiB\n", name, Median(series.micros),
                Median(series.micros) / cpMedian, Median(series.micros) / Median(floor.micros),
                series.peakKiB);
  };
  row("Mappix (silent)", mappix, mappixFloor);
  row("Tresolo (silent)", tresolo, tresoloFloor);
  row("Mappix floor", mappixFloor, mappixFloor);
  row("Tresolo floor", tresoloFloor, tresoloFloor);
  row("cp", cp, mappixFloor);
  row("bare C++ program", bare, mappixFloor);
  const long batches = BasketsOpened(home) - sessionsBefore;
  std::printf(
      "\n%d imports started at once: %.0f ms for all, %d documents in %ld batch%s; %d runs of the"
      " Mappix floor one after another: %.0f ms (%.2fx)\n",
      kParallel, parallelMs, kParallel, batches, batches == 1 ? "" : "es", kParallel, floorsMs,
      parallelMs / floorsMs);
  std::printf("\ndurable targets, whole processes against the bare C floors (load %s, then %s):\n",
              loadBefore.c_str(), Load().c_str());
  PrintTarget("silent 4 KiB Mappix / Mappix floor",
              Median(mappix.micros) / Median(mappixFloor.micros), 1.5);
  PrintTarget("silent 4 KiB Tresolo / Tresolo floor",
              Median(tresolo.micros) / Median(tresoloFloor.micros), 1.2);
  PrintTarget("100 imports at once / 100 Mappix floors in a row", parallelMs / floorsMs, 1.0);
  if (curveRuns > 0) PrintSizeCurve(folder, source, curveRuns);
  fs::remove_all(folder);
  return 0;
}
