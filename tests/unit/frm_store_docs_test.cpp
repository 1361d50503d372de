#include <gtest/gtest.h>

#include <utility>

#include "tests/unit/store_rig.h"
#include "tresolo/frm_store_docs.h"

namespace kartiva::testing {
namespace {

using Calls = std::vector<std::string>;
using Boxes = std::vector<MsgBoxRequest>;

const Calls kStartUp{"CreateObject(\"KV5ToolKit.App\")", "IsClientRunning()", "QueryActiveBasket()",
                     "ListArchives()"};

struct LoadCase {
  std::string name;
  std::string commandLine;
  std::vector<std::pair<std::string, Reply>> script;
  std::deque<Answer> answers;
  Calls calls;
  Boxes boxes;
  std::string outcome = "returned";
};

TEST(StoreForm, LoadRunsOneStoreWithTheDesignTimeSettings) {
  const std::string doc = "C:\\Scans\\offer.doc";
  const std::string basketDoc = "C:\\Kartiva\\Eingang\\00000007.001";
  const LoadCase cases[] = {
      {"foreign file", doc, {}, {}, Join(kStartUp, ForeignStore(doc)), {}},
      {"basket document",
       basketDoc,
       {},
       {},
       Join(kStartUp, {"QueryActiveArchive()", "QueryActiveBasket()", "OpenArchive(\"Rechnungen\")",
                       "Archive.Open()", "OpenBasket(\"Eingang\")", "Basket.Open()", "Refresh()",
                       "StoreFile(" + Q(basketDoc) + ", 1, true, true, \"\")"}),
       {Box("Unable to convert the desired file.", "Unable to convert file.")}},
      {"empty command line",
       "",
       {},
       {},
       kStartUp,
       {Box("Please enter a file to store.\r\n", "Missing information")}},
      {"no active basket outranks every other check",
       "",
       {{"QueryActiveBasket", {.text = ""}}},
       {},
       kStartUp,
       {Box("An active basket is not present.\r\n", "Missing information")}},
      {"no archives",
       doc,
       {{"ListArchives", {.text = ""}}},
       {},
       Join(kStartUp, ForeignStore(doc)),
       {Box("There are no archives presently registered in Kartiva.", "No archives available")}},
      {"error codes of the start-up are not examined",
       doc,
       {{"IsClientRunning", {.code = 1, .flag = true}},
        {"QueryActiveBasket", {.code = 2}},
        {"ListArchives", {.code = 3}}},
       {},
       Join(kStartUp, ForeignStore(doc)),
       {}},
      {"client start declined",
       doc,
       {{"IsClientRunning", {.flag = false}}},
       {Answer::No},
       {"CreateObject(\"KV5ToolKit.App\")", "IsClientRunning()"},
       {StartQuestion()},
       "end"},
      {"more archives than the counter holds",
       doc,
       {{"ListArchives", {.text = std::string(32768, ',')}}},
       {},
       kStartUp,
       {},
       "failure: 6"},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    StoreRig store(c.commandLine);
    for (const auto& [operation, reply] : c.script) store.rig.toolkit.Script(operation, reply);
    store.rig.ui.answers = c.answers;

    EXPECT_EQ(RunToEnd([&] { store.form.Form_Load(); }), c.outcome);
    EXPECT_EQ(store.rig.toolkit.calls, c.calls);
    EXPECT_EQ(store.rig.ui.boxes, c.boxes);
    if (!c.outcome.starts_with("failure")) {
      EXPECT_FALSE(store.form.loaded());
    }
  }
}

TEST(StoreForm, LoadShowsTheBasketAndFillsTheArchiveChooser) {
  struct Case {
    std::string list;
    std::vector<std::string> archives;
    std::string chooserText;
  };
  const Case cases[] = {
      {"A,B,", {"A", "B"}, "A"},
      {",Rechnungen", {"", "Rechnungen"}, ""},
      {"", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    StoreRig store("C:\\Scans\\offer.doc");
    store.rig.toolkit.Script("QueryActiveBasket", {.text = "Posteingang Meier"});
    store.rig.toolkit.Script("ListArchives", {.text = c.list});
    RunToEnd([&] { store.form.Form_Load(); });
    EXPECT_EQ(store.form.lblBasket.caption, "Posteingang Meier");
    EXPECT_EQ(store.module.sActiveBasket, "Posteingang Meier");
    EXPECT_EQ(store.module.aArchives, c.archives);
    EXPECT_EQ(store.form.cmbArchive.list, c.archives);
    EXPECT_EQ(store.form.cmbArchive.text, c.chooserText);
  }
}

TEST(StoreForm, ConversionIsOfferedForUpperCaseTifOnly) {
  const std::pair<std::string, bool> cases[] = {
      {"C:\\Scans\\page.TIF", true},
      {"C:\\Scans\\page.tif", false},
      {"C:\\Kartiva\\Eingang\\00000007.001", false},
      {"TIF", true},
      {"IF", false},
      {"C:\\Scans\\page.TIF ", false},
      {"", true},  // the text does not change, so the field's reaction does not run
  };
  for (const auto& [commandLine, enabled] : cases) {
    SCOPED_TRACE(commandLine);
    StoreRig store(commandLine);
    RunToEnd([&] { store.form.Form_Load(); });
    EXPECT_EQ(store.form.chkConversion.enabled, enabled);
    EXPECT_EQ(store.form.chkConversion.value, kChecked);
  }
}

struct CheckCase {
  std::string name;
  std::string basket = "Eingang";
  std::size_t option = 0;
  std::string chooser = "Rechnungen";
  std::string file = "C:\\Scans\\offer.doc";
  std::string index = "Please enter an index string here";
  std::int16_t storeMethod = kChecked;
  std::string message = {};  // the box's text; empty when every check passes
};

TEST(StoreForm, CheckFieldsStopsAtTheFirstMissingSetting) {
  const std::string noIndex =
      "Please enter an index string or click \"Use Kartiva mask to store\" or both\r\n";
  const std::string placeholder = "Please enter an index string here";
  const CheckCase cases[] = {
      {.name = "design-time settings"},
      {.name = "A before all others",
       .basket = "",
       .option = 1,
       .chooser = "",
       .file = "",
       .storeMethod = kUnchecked,
       .message = "An active basket is not present.\r\n"},
      {.name = "B before C",
       .option = 1,
       .chooser = "",
       .file = "",
       .message = "Please enter an archive to be used.\r\n"},
      {.name = "B ignores the chooser under option 0", .chooser = ""},
      {.name = "B passes with a chosen archive", .option = 1},
      {.name = "C", .file = "", .message = "Please enter a file to store.\r\n"},
      {.name = "D", .index = "", .storeMethod = kUnchecked, .message = noIndex},
      {.name = "D passes with the mask grayed", .index = "", .storeMethod = kGrayed},
      {.name = "E", .storeMethod = kUnchecked, .message = noIndex},
      {.name = "E compares exactly", .index = " " + placeholder + " ", .storeMethod = kUnchecked},
      {.name = "spaces only are an index", .index = "   ", .storeMethod = kUnchecked},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    StoreRig store;
    store.module.sActiveBasket = c.basket;
    store.form.optArchive.Select(c.option);
    store.form.cmbArchive.text = c.chooser;
    store.form.txtFilename.SetText(c.file);
    store.form.txtIndexString.SetText(c.index);
    store.form.chkStoreMethod.value = c.storeMethod;
    store.form.lProceed = 1;

    store.form.CheckFields();
    EXPECT_EQ(store.form.lProceed, c.message.empty() ? 0 : 1);
    EXPECT_EQ(store.rig.ui.boxes,
              c.message.empty() ? Boxes{} : Boxes{Box(c.message, "Missing information")});
  }
}

TEST(StoreForm, FileSelectHandsOverTheDialogsNameEvenWhenCancelled) {
  StoreRig store;
  store.module.sActiveBasket = "C:\\Kartiva\\Eingang";
  store.form.txtFilename.SetText("C:\\Scans\\typed.doc");
  store.form.cmdFileSelect_Click();  // cancelled on first use: the dialog held no name
  EXPECT_EQ(store.form.txtFilename.text(), "");

  store.rig.ui.chosenFile = "C:\\Scans\\page.TIF";
  store.form.cmdFileSelect_Click();
  EXPECT_EQ(store.form.txtFilename.text(), "C:\\Scans\\page.TIF");
  EXPECT_TRUE(store.form.chkConversion.enabled);

  ASSERT_EQ(store.rig.ui.dialogs.size(), 2u);
  EXPECT_EQ(store.rig.ui.dialogs[1].initialFolder, "C:\\Kartiva\\Eingang");
  EXPECT_EQ(store.rig.ui.dialogs[1].filter, "All files (*.*)|*.*");
  EXPECT_TRUE(store.rig.toolkit.calls.empty());
}

TEST(StoreForm, LoadExampleWritesTheIndexStringWithTodaysDate) {
  StoreRig store;
  store.rig.ui.today = "2026-12-07";
  store.form.cmdLoadIndexExample_Click();
  EXPECT_EQ(store.form.txtIndexString.text(),
            "0,DOC_NAME,64,2026-12-07,32,New document,5,Username,");
}

TEST(StoreForm, ArchiveOptionsSwitchTheChooser) {
  const struct {
    std::int16_t index;
    bool before;
    bool after;
  } cases[] = {{0, true, false}, {1, false, true},  {1, true, true},
               {2, true, true},  {2, false, false}, {-1, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    StoreRig store;
    store.form.cmbArchive.enabled = c.before;
    store.form.optArchive_Click(c.index);
    EXPECT_EQ(store.form.cmbArchive.enabled, c.after);
  }
}

TEST(StoreForm, ExitUnloadsAndEndsWithoutTouchingTheToolkit) {
  StoreRig store;
  EXPECT_EQ(RunToEnd([&] { store.form.cmdExit_Click(); }), "end");
  EXPECT_FALSE(store.form.loaded());
  EXPECT_TRUE(store.rig.toolkit.calls.empty());
  EXPECT_TRUE(store.rig.ui.boxes.empty());
}

}  // namespace
}  // namespace kartiva::testing
