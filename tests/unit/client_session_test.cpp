// The client check taken in turns by the instances started for a selection of files.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/client_session.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {
namespace {

struct RecordingForm : Form {
  int unloads = 0;
  void Unload() override { ++unloads; }
};

const std::string kRunning = "IsClientRunning()";
const std::string kStart = "StartClient(\"\", \"\", 90)";

TEST(ClientCheckInTurns, AsksOnlyWhenNoInstanceBeforeIt) {
  struct Case {
    const char* what;
    std::function<void(Rig&)> arrange;
    std::vector<std::string> calls;
    std::vector<MsgBoxRequest> boxes;
    std::vector<std::string> lockUses;
    std::string ending;
  };
  const auto stopped = [](Rig& rig) { rig.toolkit.Script("IsClientRunning", {.flag = false}); };
  const Case cases[] = {
      {"an instance after the one that started the client finds it running",
       {},
       {kRunning},
       {},
       {"Acquire 1", "Release 2"},
       "returned"},
      {"the first instance asks, starts, and only then lets the next one in",
       stopped,
       {kRunning, kStart},
       {StartQuestion()},
       {"Acquire 1", "Release 3"},
       "returned"},
      {"its \"No\" is recorded for the waiting instances before it ends",
       [&](Rig& rig) {
         stopped(rig);
         rig.ui.answers = {Answer::No};
       },
       {kRunning},
       {StartQuestion()},
       {"Acquire 1", "RecordDecline 2", "Release 2"},
       "end"},
      {"an instance that waited while the user said No ends without a call or a question",
       [&](Rig& rig) {
         stopped(rig);
         rig.checkLock.declinedWhileWaiting = true;
       },
       {},
       {},
       {"Acquire 1", "Release 1"},
       "end"},
      {"a No given since the instance started, before its turn, ends it too",
       [&](Rig& rig) {
         stopped(rig);
         rig.checkLock.lastDecline = rig.facts.started() + 1;
       },
       {},
       {},
       {"Acquire 1", "Release 1"},
       "end"},
      {"a No given just before the instance started, to the selection it is late for, ends it",
       [&](Rig& rig) {
         stopped(rig);
         rig.checkLock.lastDecline = rig.facts.started() - kDeclineCovers;
       },
       {},
       {},
       {"Acquire 1", "Release 1"},
       "end"},
      {"a No given well before the instance started does not answer for it",
       [&](Rig& rig) {
         stopped(rig);
         rig.checkLock.lastDecline = rig.facts.started() - kDeclineCovers - 1;
       },
       {kRunning, kStart},
       {StartQuestion()},
       {"Acquire 1", "Release 3"},
       "returned"},
      {"a start that fails outright still lets the next instance in",
       [&](Rig& rig) {
         stopped(rig);
         rig.toolkit.Script("StartClient", {.failsOutright = true});
       },
       {kRunning, kStart},
       {StartQuestion()},
       {"Acquire 1", "Release 3"},
       "returned"},
      {"without a lock the instance checks on its own and records nothing",
       [&](Rig& rig) {
         stopped(rig);
         rig.checkLock.offered = false;
         rig.ui.answers = {Answer::No};
       },
       {kRunning},
       {StartQuestion()},
       {},
       "end"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig("C:\\a.doc");
    if (c.arrange) c.arrange(rig);
    ClientState client{.TKSession = rig.toolkit.CreateToolkit(kToolkitProgId)};
    RecordingForm form;
    EXPECT_EQ(RunToEnd([&] { EnsureClientRuns(client, rig.runtime, form); }), c.ending);
    EXPECT_EQ(std::vector<std::string>(rig.toolkit.calls.begin() + 1, rig.toolkit.calls.end()),
              c.calls);
    EXPECT_EQ(rig.ui.boxes, c.boxes);
    EXPECT_EQ(rig.checkLock.uses, c.lockUses);
    EXPECT_EQ(form.unloads, c.ending == "end" ? 1 : 0);
  }
}

}  // namespace
}  // namespace kartiva::testing
