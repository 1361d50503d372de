// Soaks the local store with what users and machines do to it at once: imports and stores side by
// side, two stores of one document racing, processes killed at random moments, the archive index
// held locked by another process (also with a lock that blocks its readers while a recovery runs),
// and the counters of the numbers rolled back or made garbage, as a lost update would leave them;
// a killed store of a foreign file that did not reach the archive is stored again, as a user would.
// After every round and the next operation, the store must hold every document exactly once with
// its bytes, every archive file its row and every row its file, no file under a basket name and
// an archive name at once, and nothing left over.
//
// The randomness is seeded (KARTIVA_SOAK_SEED repeats a run); the seed is printed.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "tests/support/store_fixture.h"

namespace kartiva::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr int kRounds = 8;
constexpr int kRunsPerRound = 10;

enum class Job { Import, StoreNew, StoreDocument };

struct SoakRun {
  Job job;
  std::string content;  // the bytes of the document it works on
  fs::path source{};    // the file it was started on
  pid_t pid = 0;
  fs::path folder{};
  ProcessResult result{};
};

unsigned Seed() {
  if (const char* seed = std::getenv("KARTIVA_SOAK_SEED")) return std::strtoul(seed, nullptr, 10);
  return static_cast<unsigned>(std::random_device{}());
}

class StoreSoak : public StoreTest {
 protected:
  // Starts one run of the round; each run has its own folder for its output.
  void Launch(SoakRun& run, const std::string& path) {
    static int next = 0;
    run.folder = temp_.path() / ("run" + std::to_string(next++));
    run.source = path;
    fs::create_directories(run.folder);
    const char* program = run.job == Job::Import ? MAPPIX_PATH : TRESOLO_PATH;
    run.pid = Start(Spec(program, {path}), run.folder);
  }

  fs::path NewSource(const std::string& content) {
    static int next = 0;
    return Source("sources/" + std::to_string(next++) + ".txt", content);
  }

  // Whether an archive file holds these bytes.
  bool Archived(const std::string& content) const {
    const std::vector<fs::path> files = FilesIn(archive());
    return std::any_of(files.begin(), files.end(),
                       [&](const fs::path& file) { return ReadFile(file) == content; });
  }

  // The basket documents, by their bytes.
  std::map<std::string, fs::path> BasketDocuments() const {
    std::map<std::string, fs::path> documents;
    for (const fs::path& file : FilesIn(basket())) {
      if (file.filename().string().front() != '.') documents[ReadFile(file)] = file;
    }
    return documents;
  }
};

TEST_F(StoreSoak, EveryDocumentExactlyOnceWhateverHappensAtOnce) {
  const unsigned seed = Seed();
  std::printf("store soak seed: %u (KARTIVA_SOAK_SEED=%u repeats it)\n", seed, seed);
  std::mt19937 random(seed);
  const auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
  Initialise();

  std::set<std::string> mustHold;  // documents the store has taken: never lost, never doubled
  int next = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
    std::vector<SoakRun> runs;
    const fs::path counters = SaveCounters("counters");
    const std::map<std::string, fs::path> documents = BasketDocuments();
    for (int i = 0; i < kRunsPerRound; ++i) {
      const int pick = static_cast<int>(random() % 3);
      if (pick == 2 && !documents.empty()) {
        // Two stores of one basket document, started together.
        auto document = documents.begin();
        std::advance(document, random() % documents.size());
        for (int twice = 0; twice < 2; ++twice) {
          runs.push_back({Job::StoreDocument, document->first});
          Launch(runs.back(), document->second.string());
        }
        continue;
      }
      const std::string content =
          "document " + std::to_string(next++) + std::string(random() % 9000, 'x');
      runs.push_back({pick == 0 ? Job::Import : Job::StoreNew, content});
      Launch(runs.back(), NewSource(content).string());
    }

    {
      std::optional<IndexLock> lock;
      if (round % 3 == 1) lock.emplace(archive());
      for (SoakRun& run : runs) {
        if (!chance(30)) continue;
        std::this_thread::sleep_for(milliseconds(random() % 60));
        ::kill(run.pid, SIGKILL);
      }
      if (lock) std::this_thread::sleep_for(milliseconds(300 + random() % 500));
    }
    for (SoakRun& run : runs) run.result = Finish(run.pid, run.folder, 60);

    // The numbers handed out this round come back, or every counter is garbage.
    if (chance(40)) SpoilCounters(chance(50) ? counters : fs::path());
    if (chance(40)) {
      // A recovery that cannot read the index leaves the killed runs' work as it is.
      const IndexLock blocking(archive(), true);
      const std::string imported = "imported under a lock " + std::to_string(round);
      EXPECT_EQ(StoreTest::RunIn(MAPPIX_PATH, {NewSource(imported).string()}).exitStatus, 0);
      mustHold.insert(imported);
    }

    // The next operation repairs what the killed runs left.
    const std::string repair = "repair " + std::to_string(round);
    EXPECT_EQ(StoreTest::RunIn(TRESOLO_PATH, {NewSource(repair).string()}).exitStatus, 0);
    mustHold.insert(repair);
    // A foreign file whose killed store left it outside the archive is stored again: never twice.
    for (SoakRun& run : runs) {
      if (run.job != Job::StoreNew || run.result.exitStatus != -1 || Archived(run.content))
        continue;
      EXPECT_EQ(StoreTest::RunIn(TRESOLO_PATH, {run.source.string()}).exitStatus, 0);
      run.result.exitStatus = 0;
    }

    std::set<std::string> mayHold = mustHold;
    for (const SoakRun& run : runs) {
      const bool died = run.result.exitStatus == -1;
      // A run that handed its file to another instance, killed while doing that file, cannot know
      // whether the file went in, and says so.
      const bool handedToTheKilled =
          run.result.exitStatus == 1 &&
          run.result.errors.find("ended while it was doing it") != std::string::npos;
      EXPECT_TRUE(died || handedToTheKilled || run.result.exitStatus == 0 ||
                  run.job == Job::StoreDocument)
          << run.result.errors;
      if (!died && run.result.exitStatus == 2 && !run.result.errors.empty()) {
        // Only the loser of a race, or a store of a document a killed store claimed. (A run that
        // handed its file over shows nothing: the batch's summary names it.)
        EXPECT_NE(run.result.errors.find("Unable to store the document: 80045007\n"),
                  std::string::npos)
            << run.result.errors;
      }
      mayHold.insert(run.content);
      if (run.result.exitStatus == 0) mustHold.insert(run.content);
    }

    const Census census = TakeCensus();
    EXPECT_EQ(census.faults, std::vector<std::string>{});
    std::set<std::string> held;
    for (const std::string& content : census.documents) {
      EXPECT_TRUE(held.insert(content).second) << "twice in the store: " << content.substr(0, 20);
      EXPECT_TRUE(mayHold.count(content)) << "from nowhere: " << content.substr(0, 20);
    }
    for (const std::string& content : mustHold) {
      EXPECT_TRUE(held.count(content)) << "lost: " << content.substr(0, 20);
    }
    mustHold = held;
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace kartiva::testing
