// The batch of many files, driven through the import tool's form against fakes: which instance
// does which file, what the toolkit sees, which boxes show and which status each file ends with.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/batch.h"
#include "mappix/frm_import.h"
#include "tests/support/fakes.h"
#include "tresolo/frm_store_docs.h"

namespace kartiva::testing {
namespace {

using std::chrono::milliseconds;

// What every waiting instance was told, by path.
using Told = std::map<std::string, std::vector<std::string>>;

template <typename T>
std::optional<T> Pop(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T front = std::move(queue.front());
  queue.pop_front();
  return front;
}

class FakeWaiter : public WaiterLink {
 public:
  FakeWaiter(Told& told, std::string path) : told_(told), path_(std::move(path)) {}
  void Tell(std::string_view message) override { told_[path_].emplace_back(message); }

 private:
  Told& told_;
  std::string path_;
};

// Instances that are on their way when the batch first asks: each time it asks, the next of
// `later` arrives; a `stuck` one never does.
struct Stragglers {
  std::deque<std::string> later{};
  bool stuck = false;
};

// Hands over the paths in order, all there from the start, and then the stragglers.
class FakeListener : public BatchListener {
 public:
  FakeListener(Told& told, std::deque<std::string> paths, Stragglers stragglers)
      : told_(told), paths_(std::move(paths)), stragglers_(std::move(stragglers)) {}
  std::optional<Arrival> NextArrival(milliseconds) override {
    const std::optional<std::string> path = Pop(paths_);
    if (!path) return std::nullopt;
    return Arrival{*path, std::make_unique<FakeWaiter>(told_, *path)};
  }
  bool InstancesOnTheirWay() override {
    const std::optional<std::string> path = Pop(stragglers_.later);
    if (path) paths_.push_back(*path);
    return path || stragglers_.stuck;
  }

 private:
  Told& told_;
  std::deque<std::string> paths_;
  Stragglers stragglers_;
};

// A first instance that answers with `messages` and then ends the link.
class FakeFirstLink : public FirstInstanceLink {
 public:
  explicit FakeFirstLink(std::deque<std::string> messages) : messages_(std::move(messages)) {}
  bool HandOver(std::string_view) override { return true; }
  std::optional<std::string> NextMessage() override { return Pop(messages_); }

 private:
  std::deque<std::string> messages_;
};

// Each Connect meets the next scripted first instance ("none": nobody listens); each Listen
// gives the next scripted answer ("listen", "taken", "unavailable").
class FakeEndpoint : public BatchEndpoint {
 public:
  std::deque<std::optional<std::deque<std::string>>> firsts;
  std::deque<std::string> listens;
  std::deque<std::string> arrivals;
  Stragglers stragglers;
  Told told;

  std::unique_ptr<FirstInstanceLink> Connect() override {
    const auto first = Pop(firsts);
    return first && *first ? std::make_unique<FakeFirstLink>(**first) : nullptr;
  }
  Listening Listen() override {
    const std::string answer = Pop(listens).value_or("listen");
    if (answer == "listen") {
      return {std::make_unique<FakeListener>(told, arrivals, stragglers), false};
    }
    return {nullptr, answer == "taken"};
  }
};

// A clock that moves on by `step` each time it is read.
BatchClock SteppingClock(milliseconds step) {
  auto now = std::make_shared<std::chrono::steady_clock::time_point>();
  return [now, step] { return *now += step; };
}

const std::string kCreate = "CreateObject(\"KV5ToolKit.App\")";
const std::string kRunning = "IsClientRunning()";
const std::string kQueryBasket = "QueryActiveBasket()";
const std::string kOpenBasket = "OpenBasket(\"Eingang\")";
const std::string kRefresh = "Refresh()";
std::string Add(const std::string& path) { return "AddFile(\"" + path + "\", \"\")"; }

struct BatchCase {
  std::string name;
  std::deque<std::string> arrivals;  // handed over by other instances, all at once
  std::function<void(Rig&)> arrange;
  std::vector<std::string> calls;
  std::vector<MsgBoxRequest> boxes;
  int ownStatus;
  Told told;
  milliseconds clockStep{1};
  std::vector<std::string> progress{};
  Stragglers stragglers{};
  bool slowAnswers = false;  // the user takes five seconds over each box
};

const std::string kOwn = "/scans/a.txt";
const std::vector<std::string> kStartedOk = {"started", "status 0"};
// A file that failed: its waiter keeps its link until the summary has been shown.
std::vector<std::string> StartedFailed(const std::string& failure) {
  return {"started", "failed " + failure, "status 2", "shown"};
}
// What a waiting instance hands over when its first instance ended before it showed `failure`.
std::string Report(const std::string& path, const std::string& failure) {
  return path + std::string(1, '\0') + "failed " + failure;
}

MsgBoxRequest Summary(const std::string& text) { return Box(text, "Mappix"); }

std::deque<std::string> ManyPaths(int count) {
  std::deque<std::string> paths;
  for (int i = 1; i <= count; ++i) paths.push_back("/scans/" + std::to_string(i) + ".txt");
  return paths;
}

std::string CutSummary() {
  std::string text = "25 von 25 Dateien wurden nicht importiert:";
  text += "\na.txt: Fehler beim Datei-Import: 5";
  for (int i = 1; i <= 18; ++i)
    text += "\n" + std::to_string(i) + ".txt: Fehler beim Datei-Import: 5";
  return text + "\n... und 6 weitere";
}

const BatchCase kCases[] = {
    {"ThreeFilesInOneSessionShowNothing",
     {"/b.txt", "/c.txt"},
     {},
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt"), kRefresh,
      Add("/c.txt"), kRefresh},
     {},
     0,
     {{"/b.txt", kStartedOk}, {"/c.txt", kStartedOk}}},
    {"AToolkitThatHoldsNoNamesHasEachFileToldAtOnce",
     {"/b.txt", "/c.txt"},
     [](Rig& rig) { rig.toolkit.holdsNames = false; },
     {},
     {},
     0,
     {{"/b.txt", kStartedOk}, {"/c.txt", kStartedOk}}},
    {"FailuresGatherInOneSummary",
     {"/in/b.txt", "/c.txt"},
     [](Rig& rig) {
       rig.toolkit.Script("AddFile", {});
       rig.toolkit.Script("AddFile", {.code = 255});
       rig.toolkit.Script("AddFile", {.code = -1});
     },
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/in/b.txt"), kRefresh,
      Add("/c.txt"), kRefresh},
     {Summary("2 von 3 Dateien wurden nicht importiert:\nb.txt: Fehler beim Datei-Import: FF\n"
              "c.txt: Fehler beim Datei-Import: FFFFFFFF")},
     0,
     {{"/in/b.txt", StartedFailed("Fehler beim Datei-Import: FF")},
      {"/c.txt", StartedFailed("Fehler beim Datei-Import: FFFFFFFF")}}},
    {"AReportIsNamedInTheSummaryAndNotDoneAgain",
     {"/b.txt", Report("/in/gone.txt", "Fehler beim Datei-Import: 5\\nzweite Zeile")},
     {},
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt"), kRefresh},
     {Summary("1 von 3 Dateien wurden nicht importiert:\n"
              "gone.txt: Fehler beim Datei-Import: 5\nzweite Zeile")},
     0,
     {{"/b.txt", kStartedOk},
      {Report("/in/gone.txt", "Fehler beim Datei-Import: 5\\nzweite Zeile"), {"shown"}}}},
    {"LongSummaryIsCutAfterAScreenful",
     ManyPaths(24),
     [](Rig& rig) {
       for (int i = 0; i < 25; ++i) rig.toolkit.Script("AddFile", {.code = 5});
     },
     {},
     {Summary(CutSummary())},
     2,
     {}},
    {"OutrightFailureEndsTheFilesNotDoneWithOne",
     {"/b.txt", "/c.txt"},
     [](Rig& rig) {
       rig.toolkit.Script("AddFile", {});
       rig.toolkit.Script("AddFile", {.failsOutright = true});
     },
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt")},
     {Box("Run-time error '-2147352567 (80020009)':\n\nAddFile failed", "Mappix", Buttons::Ok,
          Icon::Critical)},
     0,
     {{"/b.txt", {"started", "status 1"}}, {"/c.txt", {"status 1"}}}},
    {"ANameTheDiskDidNotConfirmIsInButNotCalledDone",
     {"/in/b.txt", "/c.txt"},
     [](Rig& rig) {
       rig.toolkit.unconfirmed = {"/in/b.txt", kOwn};
     },
     {},
     {Summary("2 von 3 Dateien wurden nicht importiert:\na.txt: Die Datei wurde importiert, aber "
              "die Festplatte hat es nicht bestätigt: 8004500D\nb.txt: Die Datei wurde "
              "importiert, aber die Festplatte hat es nicht bestätigt: 8004500D")},
     2,
     {{"/in/b.txt",
       StartedFailed("Die Datei wurde importiert, aber die Festplatte hat es nicht bestätigt: "
                     "8004500D")},
      {"/c.txt", kStartedOk}}},
    {"NoToTheStartQuestionEndsEveryFile",
     {"/b.txt", "/c.txt"},
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.ui.answers = {Answer::No};
     },
     {kCreate, kRunning},
     {StartQuestion()},
     0,
     {{"/b.txt", {"status 0"}}, {"/c.txt", {"status 0"}}}},
    {"CancelEndsTheFilesLeftWithZeroAndNamesThem",
     {"/b.txt", "/c.txt"},
     [](Rig& rig) { rig.ui.cancelAt = 1; },
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh},
     {Summary("2 von 3 Dateien wurden nicht importiert:\nb.txt: abgebrochen\nc.txt: abgebrochen")},
     0,
     {{"/b.txt", {"status 0"}}, {"/c.txt", {"status 0"}}},
     milliseconds(600),
     {"Datei 2 von 3: b.txt"}},
    {"InstancesStillOnTheirWayJoinTheBatch",
     {"/b.txt"},
     [](Rig& rig) {
       for (int i = 0; i < 3; ++i) rig.toolkit.Script("AddFile", {});
       rig.toolkit.Script("AddFile", {.code = 5});
     },
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt"), kRefresh,
      Add("/c.txt"), kRefresh, Add("/d\n.txt"), kRefresh},
     {Summary("1 von 4 Dateien wurden nicht importiert:\nd\\n.txt: Fehler beim Datei-Import: 5")},
     0,
     {{"/b.txt", kStartedOk},
      {"/c.txt", kStartedOk},
      {"/d\n.txt", StartedFailed("Fehler beim Datei-Import: 5")}},
     milliseconds(1),
     {},
     {.later = {"/c.txt", "/d\n.txt"}}},
    {"AStuckInstanceHoldsTheBatchUpForAWhileOnly",
     {"/b.txt"},
     {},
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt"), kRefresh},
     {},
     0,
     {{"/b.txt", kStartedOk}},
     milliseconds(100),
     {},
     {.stuck = true}},
    {"WhileWaitingForAStuckInstanceTheProgressLivesAndCancels",
     {"/b.txt"},
     [](Rig& rig) { rig.ui.cancelAt = 2; },
     {kCreate, kRunning, kQueryBasket, kOpenBasket, Add(kOwn), kRefresh, Add("/b.txt"), kRefresh},
     {},
     0,
     {{"/b.txt", kStartedOk}},
     milliseconds(600),
     {"Datei 2 von 2: b.txt", "Datei 2 von 2: b.txt"},
     {.stuck = true}},
    {"TheStartQuestionsTimeDoesNotCountTowardsTheProgress",
     {"/b.txt"},
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.ui.answers = {Answer::Yes};
     },
     {},
     {StartQuestion()},
     0,
     {{"/b.txt", kStartedOk}},
     milliseconds(1),
     {},
     {},
     true},
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class FirstInstance : public ::testing::TestWithParam<BatchCase> {};

TEST_P(FirstInstance, DoesEveryFileInOneSession) {
  const BatchCase& c = GetParam();
  Rig rig(kOwn);
  if (c.arrange) c.arrange(rig);
  FakeEndpoint endpoint;
  endpoint.arrivals = c.arrivals;
  endpoint.stragglers = c.stragglers;
  // Where the toolkit holds the names, no status may be told before they are confirmed: a status 0
  // promises a document that survives a power cut. Where it holds none, each file is told as soon
  // as it is done.
  Told toldAtConfirm;
  rig.toolkit.onConfirm = [&] { toldAtConfirm = endpoint.told; };
  BatchClock clock = SteppingClock(c.clockStep);
  if (c.slowAnswers) {
    clock = [clock, &rig] { return clock() + std::chrono::seconds(5) * rig.ui.boxes.size(); };
  }

  const int status = RunBatch(
      rig.runtime, endpoint, kImportBatchTexts,
      [&] {
        frmImport form(rig.runtime);
        form.Form_Load();
      },
      clock);

  EXPECT_EQ(status, c.ownStatus);
  EXPECT_EQ(rig.toolkit.confirms, 1);
  if (rig.toolkit.holdsNames) {
    for (const auto& [path, messages] : toldAtConfirm) {
      EXPECT_EQ(messages, std::vector<std::string>{"started"}) << path;
    }
  } else {
    EXPECT_EQ(toldAtConfirm, endpoint.told);
  }
  if (!c.calls.empty()) {
    EXPECT_EQ(rig.toolkit.calls, c.calls);
  }
  EXPECT_EQ(rig.ui.boxes, c.boxes);
  if (!c.told.empty()) {
    EXPECT_EQ(endpoint.told, c.told);
  }
  std::vector<std::string> progress;
  for (const ProgressRequest& shown : rig.ui.progress) progress.push_back(shown.line);
  EXPECT_EQ(progress, c.progress);
  EXPECT_FALSE(rig.ui.progressUp) << "the progress window stayed";
}

INSTANTIATE_TEST_SUITE_P(Cases, FirstInstance, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

// The store tool opens its archive and basket once for the batch, says that basket documents
// cannot be converted once, and sums up in English.
TEST(StoreBatch, OpensOnceSaysOnceAndSumsUp) {
  Rig rig("/basket/00000001.001", "Tresolo");
  rig.toolkit.Script("StoreFile", {});
  rig.toolkit.Script("StoreFile", {.code = 255});
  FakeEndpoint endpoint;
  endpoint.arrivals = {"/basket/00000002.001", "/basket/00000003.001"};

  EXPECT_EQ(RunBatch(rig.runtime, endpoint, kStoreBatchTexts, [&] { RunTresolo(rig.runtime); }), 0);

  const auto count = [&](const std::string& operation) {
    return std::count_if(rig.toolkit.calls.begin(), rig.toolkit.calls.end(),
                         [&](const std::string& call) { return call.rfind(operation, 0) == 0; });
  };
  EXPECT_EQ(count("CreateObject"), 1);
  EXPECT_EQ(count("QueryActiveArchive"), 1);
  EXPECT_EQ(count("OpenArchive"), 1);
  EXPECT_EQ(count("OpenBasket"), 1);
  EXPECT_EQ(count("StoreFile"), 3);
  EXPECT_EQ(rig.ui.boxes, (std::vector<MsgBoxRequest>{
                              Box("Unable to convert the desired file.", "Unable to convert file."),
                              Box("1 of 3 files could not be stored:\n"
                                  "00000002.001: Unable to store the document: FF",
                                  "Tresolo")}));
  EXPECT_EQ(endpoint.told["/basket/00000002.001"],
            StartedFailed("Unable to store the document: FF"));
}

// An instance that finds a first instance hands its file over and never touches the toolkit;
// one whose first instance went away before starting its file does the file itself.
TEST(WaitingInstance, EndsWithItsFilesStatusOrDoesItItself) {
  using Firsts = std::deque<std::optional<std::deque<std::string>>>;
  const std::optional<std::deque<std::string>> none;
  const auto failedThen = [](std::deque<std::string> rest) {
    rest.insert(rest.begin(), {"started", "failed Fehler beim Datei-Import: 5", "status 2"});
    return std::optional(rest);
  };
  const std::string lost =
      "Run-time error:\n\nThe instance that took over this file ended while it was doing it. The "
      "file may or may not have been taken in: look before you start it again.";
  const struct {
    std::string name;
    std::string commandLine;
    Firsts firsts;
    std::deque<std::string> listens;
    int status;
    bool didItself;
    std::vector<MsgBoxRequest> boxes;
    std::deque<std::string> arrivals{};  // handed over to this instance once it is the first
  } cases[] = {
      {"told", kOwn, {std::deque<std::string>{"started", "status 2"}}, {}, 2, false, {}},
      {"gone before starting", kOwn, {std::deque<std::string>{}}, {}, 0, true, {}},
      {"nonsense is no status",
       kOwn,
       {std::deque<std::string>{"status 7", "status"}},
       {},
       0,
       true,
       {}},
      {"gone after starting",
       kOwn,
       {std::deque<std::string>{"started"}},
       {},
       1,
       false,
       {Box(lost, "Mappix", Buttons::Ok, Icon::Critical)}},
      {"another became first meanwhile",
       kOwn,
       {none, std::deque<std::string>{"started", "status 0"}},
       {"taken"},
       0,
       false,
       {}},
      {"no endpoint to be had", kOwn, {none}, {"unavailable"}, 0, true, {}},
      {"failed, and the failure shown", kOwn, {failedThen({"shown"})}, {}, 2, false, {}},
      {"failed, and the first gone before showing it: the next first shows it",
       kOwn,
       {failedThen({}), std::deque<std::string>{"shown"}},
       {},
       2,
       false,
       {}},
      {"failed, and shown here with the other reports",
       kOwn,
       {failedThen({}), none},
       {"listen"},
       2,
       false,
       {Summary("2 von 2 Dateien wurden nicht importiert:\na.txt: Fehler beim Datei-Import: 5\n"
                "b.txt: Fehler beim Datei-Import: 7")},
       {Report("/scans/b.txt", "Fehler beim Datei-Import: 7")}},
      {"failed, and shown here after the files that came meanwhile",
       kOwn,
       {failedThen({}), none},
       {"listen"},
       2,
       true,
       {Summary("1 von 2 Dateien wurden nicht importiert:\na.txt: Fehler beim Datei-Import: 5")},
       {"/scans/c.txt"}},
      {"failed, shown alone where no endpoint is to be had",
       kOwn,
       {failedThen({}), none},
       {"unavailable"},
       2,
       false,
       {Summary("1 von 1 Dateien wurden nicht importiert:\na.txt: Fehler beim Datei-Import: 5")}},
      {"empty command line never meets",
       "",
       {},
       {},
       2,
       true,
       {Box("Es ist ein Fehler beim Import aufgetreten!", "Fehler beim Import")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(c.commandLine);
    FakeEndpoint endpoint;
    endpoint.firsts = c.firsts;
    endpoint.listens = c.listens;
    endpoint.arrivals = c.arrivals;
    const int status = RunBatch(rig.runtime, endpoint, kImportBatchTexts, [&] {
      frmImport form(rig.runtime);
      form.Form_Load();
    });
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(!rig.toolkit.calls.empty(), c.didItself);
    EXPECT_EQ(rig.ui.boxes, c.boxes);
  }
}

}  // namespace
}  // namespace kartiva::testing
