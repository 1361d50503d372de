#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "mappix/frm_import.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {
namespace {

struct ImportCase {
  std::string name;
  std::string commandLine;
  std::function<void(Rig&)> arrange;
  std::vector<std::string> calls;  // after the creation of the toolkit object
  std::vector<MsgBoxRequest> boxes;
  std::string ending = "returned";
};

const std::string kRunning = "IsClientRunning()";
const std::string kQueryBasket = "QueryActiveBasket()";
const std::string kOpenBasket = "OpenBasket(\"Eingang\")";
const std::string kAdd = "AddFile(\"C:\\Scans\\offer.doc\", \"\")";
const std::string kRefresh = "Refresh()";
const std::string kStart = "StartClient(\"\", \"\", 90)";
const std::string kFile = "C:\\Scans\\offer.doc";

MsgBoxRequest ImportBox(const std::string& text) { return Box(text, "Mappix"); }

const ImportCase kCases[] = {
    {"ImportsSilently", kFile, {}, {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh}, {}},
    {"EmptyCommandLineStillChecksClientAndBasket",
     "",
     {},
     {kRunning, kQueryBasket, kOpenBasket},
     {Box("Es ist ein Fehler beim Import aufgetreten!", "Fehler beim Import")}},
    {"PathWithBlanksAndQuotesReachesAddFileUnchanged",
     "\"C:\\My Files\\a  b.doc\" ",
     {},
     {kRunning, kQueryBasket, kOpenBasket, "AddFile(\"\"C:\\My Files\\a  b.doc\" \", \"\")",
      kRefresh},
     {}},
    {"AddFileErrorIsShownInHexAndStillRefreshes",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("AddFile", {.code = 255}); },
     {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {ImportBox("Fehler beim Datei-Import: FF")}},
    {"NegativeAddFileErrorIsShownAsTwosComplement",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("AddFile", {.code = -1}); },
     {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {ImportBox("Fehler beim Datei-Import: FFFFFFFF")}},
    {"ImportedButUnconfirmedIsNeverCalledNotImported",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("AddFile", {.code = kErrStoredNotConfirmed}); },
     {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {ImportBox("Die Datei wurde importiert, aber die Festplatte hat es nicht best\xC3\xA4tigt: "
                "8004500D")}},
    {"BasketQueryErrorIsShownAndImportStillAttempted",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("QueryActiveBasket", {.code = 255, .text = "Alt"}); },
     {kRunning, kQueryBasket, "OpenBasket(\"Alt\")", kAdd, kRefresh},
     {ImportBox("Zielbriefkorb konnte nicht gefunden werden: FF")}},
    {"NegativeBasketQueryError",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("QueryActiveBasket", {.code = -1, .text = ""}); },
     {kRunning, kQueryBasket, "OpenBasket(\"\")", kAdd, kRefresh},
     {ImportBox("Zielbriefkorb konnte nicht gefunden werden: FFFFFFFF")}},
    {"EmptyBasketNameWithoutErrorShowsNothing",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("QueryActiveBasket", {.text = ""}); },
     {kRunning, kQueryBasket, "OpenBasket(\"\")", kAdd, kRefresh},
     {}},
    {"StartsClientOnYesWithoutAskingAgain",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("IsClientRunning", {.flag = false}); },
     {kRunning, kStart, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {StartQuestion()}},
    {"EndsAtOnceOnNo",
     kFile,
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.ui.answers = {Answer::No};
     },
     {kRunning},
     {StartQuestion()},
     "end"},
    {"EmptyCommandLineShowsNothingMoreAfterNo",
     "",
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.ui.answers = {Answer::No};
     },
     {kRunning},
     {StartQuestion()},
     "end"},
    {"FailedRunningQueryCountsAsNotRunning",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("IsClientRunning", {.failsOutright = true}); },
     {kRunning, kStart, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {StartQuestion()}},
    {"RunningQueryErrorWithFlagTrueCountsAsRunning",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("IsClientRunning", {.code = 5, .flag = true}); },
     {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {}},
    {"FailedStartIsIgnored",
     kFile,
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.toolkit.Script("StartClient", {.failsOutright = true});
     },
     {kRunning, kStart, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {StartQuestion()}},
    {"StartErrorCodeShowsNothing",
     kFile,
     [](Rig& rig) {
       rig.toolkit.Script("IsClientRunning", {.flag = false});
       rig.toolkit.Script("StartClient", {.code = 7});
     },
     {kRunning, kStart, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {StartQuestion()}},
    {"OpenBasketErrorIsNotExamined",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("OpenBasket", {.code = 3}); },
     {kRunning, kQueryBasket, kOpenBasket, kAdd, kRefresh},
     {}},
    {"NoBasketObjectIsAnOutrightFailure",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("OpenBasket", {.code = 3, .noObject = true}); },
     {kRunning, kQueryBasket, kOpenBasket},
     {},
     "failure: 5B"},
    {"FailedBasketQueryReachesMain",
     kFile,
     [](Rig& rig) { rig.toolkit.Script("QueryActiveBasket", {.failsOutright = true}); },
     {kRunning, kQueryBasket},
     {},
     "failure: 80020009"},
    {"ToolkitThatCannotBeCreated",
     kFile,
     [](Rig& rig) { rig.toolkit.FailCreation(); },
     {},
     {},
     "failure: 1AD"},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.name; }

class ImportTool : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportTool, CallsToolkitAndShowsBoxes) {
  const ImportCase& c = GetParam();
  Rig rig(c.commandLine);
  if (c.arrange) c.arrange(rig);
  frmImport form(rig.runtime);

  EXPECT_EQ(RunToEnd([&] { form.Form_Load(); }), c.ending);

  std::vector<std::string> expected{"CreateObject(\"KV5ToolKit.App\")"};
  expected.insert(expected.end(), c.calls.begin(), c.calls.end());
  EXPECT_EQ(rig.toolkit.calls, expected);
  EXPECT_EQ(rig.ui.boxes, c.boxes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ImportTool, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kartiva::testing
