#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "core/program.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {
namespace {

TEST(RunForm, TurnsTheOutcomeIntoExitStatusAndReport) {
  struct Case {
    std::function<void(Runtime&)> load;
    int status;
    std::vector<MsgBoxRequest> boxes;
  };
  const auto failed = [](Runtime& runtime) { FailureBox(runtime, {.text = "Fehler: 5"}); };
  const auto told = [](Runtime& runtime) { MsgBox(runtime, {.text = "Erledigt."}); };
  const Case cases[] = {
      {[](Runtime&) {}, 0, {}},
      {[](Runtime&) { End(); }, 0, {}},
      {told, 0, {Box("Erledigt.", "Mappix")}},
      {failed, 2, {Box("Fehler: 5", "Mappix")}},
      {[&](Runtime& runtime) {
         failed(runtime);
         told(runtime);
         End();
       },
       2,
       {Box("Fehler: 5", "Mappix"), Box("Erledigt.", "Mappix")}},
      {[](Runtime&) {
         throw OutrightFailure(kErrObjectNotSet, "Object variable not set: TKBasket");
       },
       1,
       {Box("Run-time error '91':\n\nObject variable not set: TKBasket", "Mappix", Buttons::Ok,
            Icon::Critical)}},
      // An outright failure outranks a failure box shown before it.
      {[&](Runtime& runtime) {
         failed(runtime);
         throw std::runtime_error("disk on fire");
       },
       1,
       {Box("Fehler: 5", "Mappix"),
        Box("Run-time error:\n\ndisk on fire", "Mappix", Buttons::Ok, Icon::Critical)}},
  };
  for (const Case& c : cases) {
    Rig rig("");
    EXPECT_EQ(RunForm(rig.runtime, [&] { c.load(rig.runtime); }), c.status);
    EXPECT_EQ(rig.ui.boxes, c.boxes);
  }
}

// A report box that cannot be shown leaves the report on standard error; the status still tells.
TEST(RunForm, ReportThatCannotBeShownLeavesItsTrace) {
  struct BrokenUi : ScriptedUi {
    Answer Show(const MsgBoxRequest&) override { throw std::runtime_error("no display"); }
  };
  Rig rig("");
  BrokenUi ui;
  Runtime runtime{rig.runtime.components, ui, rig.runtime.program, rig.runtime.clientCheckLock};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunForm(runtime, [] { throw std::runtime_error("disk on fire"); }), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Mappix: the failure report could not be shown (no display): Run-time error:  disk on "
            "fire\n");
}

}  // namespace
}  // namespace kartiva::testing
