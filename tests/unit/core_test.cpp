#include <gtest/gtest.h>

#include <climits>

#include "core/program.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {
namespace {

TEST(HexCode, WritesUppercaseWithoutPrefixAndNegativesAsTwosComplement) {
  const std::pair<ErrorCode, const char*> cases[] = {
      {0, "0"},
      {9, "9"},
      {255, "FF"},
      {0x1AD, "1AD"},
      {-1, "FFFFFFFF"},
      {INT_MIN, "80000000"},
      {INT_MAX, "7FFFFFFF"},
      {static_cast<ErrorCode>(0x80045001), "80045001"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(HexCode(code), text) << code;
}

TEST(RunTimeErrorNumber, ShowsErrorNumbersInDecimalAndOtherHresultsAlsoInHex) {
  const std::pair<ErrorCode, const char*> cases[] = {
      {kErrObjectNotSet, "91"},
      {kErrOverflow, "6"},
      {kErrCannotCreateComponent, "429"},
      {static_cast<ErrorCode>(0x800A005B), "91"},  // a run-time error wrapped in an HRESULT
      {static_cast<ErrorCode>(0x800401F3), "-2147221005 (800401f3)"},
      {static_cast<ErrorCode>(0x80045005), "-2147201019 (80045005)"},
      {static_cast<ErrorCode>(0x800B0001), "-2146762751 (800b0001)"},  // a neighbouring facility
      {INT_MIN, "-2147483648 (80000000)"},
      {-1, "-1 (ffffffff)"}};
  for (const auto& [code, text] : cases) EXPECT_EQ(RunTimeErrorNumber(code), text) << code;
}

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

}  // namespace
}  // namespace kartiva::testing
