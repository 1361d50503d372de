#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "tests/unit/store_rig.h"
#include "tresolo/frm_store_docs.h"

namespace kartiva::testing {
namespace {

using Calls = std::vector<std::string>;
using Boxes = std::vector<MsgBoxRequest>;

// The whole store of a basket document with the design-time settings.
Calls BasketStore(const std::string& path) {
  return Join(kOpening, {"Refresh()", StoreFile(path)});
}

const MsgBoxRequest kCannotConvert =
    Box("Unable to convert the desired file.", "Unable to convert file.");

struct StoreCase {
  std::string name;
  std::string path;
  std::function<void(frmStoreDocs&)> settings = [](frmStoreDocs&) {};
  std::vector<std::pair<std::string, Reply>> script = {};
  Calls calls = {};
  Boxes boxes = {};
  std::string outcome = "returned";
};

// Runs the store operation on a form whose start-up has already found the basket "Eingang".
void Check(const StoreCase& c) {
  SCOPED_TRACE(c.name);
  StoreRig store;
  store.module.TKSession = store.rig.toolkit.CreateToolkit(kToolkitProgId);
  store.rig.toolkit.calls.clear();
  store.module.sActiveBasket = "Eingang";
  store.form.txtFilename.SetText(c.path);
  c.settings(store.form);
  for (const auto& [operation, reply] : c.script) store.rig.toolkit.Script(operation, reply);

  EXPECT_EQ(RunToEnd([&] { store.form.cmdStore_Click(); }), c.outcome);
  EXPECT_EQ(store.rig.toolkit.calls, c.calls);
  EXPECT_EQ(store.rig.ui.boxes, c.boxes);
  if (c.outcome == "returned") {
    EXPECT_FALSE(store.form.loaded());
  }
}

TEST(StoreOperation, TellsBasketDocumentsFromForeignFilesByTheirEnding) {
  const std::pair<std::string, bool> cases[] = {
      {"C:\\Kartiva\\Eingang\\00000007.001", true},
      {"C:\\Kartiva\\Eingang\\00000007.009", true},
      {"C:\\Kartiva\\Eingang\\00000007.00A", true},
      {"00", true},
      {"C:\\Scans\\report001", true},          // no dot needed
      {"C:\\Scans\\bericht00\xC3\xA9", true},  // the last three are characters, not bytes
      {"C:\\Kartiva\\Eingang\\00000007.010", false},
      {"C:\\Scans\\offer.doc", false},
      {"C:\\Scans\\offer.00", false},  // the marker is ".0"
      {"0", false},
  };
  for (const auto& [path, basketDocument] : cases) {
    Check({.name = path,
           .path = path,
           .calls = basketDocument ? BasketStore(path) : ForeignStore(path),
           .boxes = basketDocument ? Boxes{kCannotConvert} : Boxes{}});
  }
}

TEST(StoreOperation, ReadsTheNonDefaultSettings) {
  const std::string doc = "C:\\Scans\\offer.doc";
  const std::string basketDoc = "C:\\Kartiva\\Eingang\\00000007.001";
  const std::string placeholder = "Please enter an index string here";
  const auto afterOpening = [&](const std::string& storeCall) {
    return Join(kOpening,
                {"ConvertFile(" + Q(doc) + ", \"Eingang\", \"\")", "AddFile(" + Q(doc) + ", \"\")",
                 "Refresh()", "SetDocumentName(\"00000042.001\")", storeCall});
  };
  const StoreCase cases[] = {
      {.name = "chosen archive, taken unchanged",
       .path = doc,
       .settings =
           [](frmStoreDocs& f) {
             f.optArchive.Select(1);
             f.cmbArchive.text = " Vertr\xC3\xA4ge ";
           },
       .calls = {"QueryActiveBasket()", "OpenArchive(\" Vertr\xC3\xA4ge \")", "Archive.Open()",
                 "OpenBasket(\"Eingang\")", "Basket.Open()",
                 "ConvertFile(" + Q(doc) + ", \"Eingang\", \"\")", "AddFile(" + Q(doc) + ", \"\")",
                 "Refresh()", "SetDocumentName(\"00000042.001\")", StoreFile(kNewName)}},
      {.name = "grayed conversion converts nothing",
       .path = doc,
       .settings = [](frmStoreDocs& f) { f.chkConversion.value = kGrayed; },
       .calls = Join(kOpening, {"AddFile(" + Q(doc) + ", \"\")", "Refresh()",
                                "SetDocumentName(\"00000042.001\")", StoreFile(kNewName)})},
      {.name = "grayed conversion of a basket document shows nothing",
       .path = basketDoc,
       .settings = [](frmStoreDocs& f) { f.chkConversion.value = kGrayed; },
       .calls = BasketStore(basketDoc)},
      {.name = "disabled conversion box still converts",
       .path = doc,
       .settings = [](frmStoreDocs& f) { f.chkConversion.enabled = false; },
       .calls = ForeignStore(doc)},
      {.name = "grayed mask and delete count as true",
       .path = doc,
       .settings =
           [](frmStoreDocs& f) {
             f.chkStoreMethod.value = kGrayed;
             f.chkDelete.value = kGrayed;
           },
       .calls = afterOpening(StoreFile(kNewName, "true, true"))},
      {.name = "unchecked mask and delete with an index string",
       .path = doc,
       .settings =
           [](frmStoreDocs& f) {
             f.chkStoreMethod.value = kUnchecked;
             f.chkDelete.value = kUnchecked;
             f.txtIndexString.SetText(" 0,DOC_NAME,64, ");
           },
       .calls = afterOpening(StoreFile(kNewName, "false, false", " 0,DOC_NAME,64, "))},
      {.name = "placeholder with spaces is no index",
       .path = doc,
       .settings = [&](frmStoreDocs& f) { f.txtIndexString.SetText("  " + placeholder + " "); },
       .calls = ForeignStore(doc)},
      {.name = "spaces only are passed on",
       .path = basketDoc,
       .settings = [](frmStoreDocs& f) { f.txtIndexString.SetText("   "); },
       .calls = Join(kOpening, {"Refresh()", StoreFile(basketDoc, "true, true", "   ")}),
       .boxes = {kCannotConvert}},
      {.name = "new basket name without a folder",
       .path = doc,
       .script = {{"AddFile", {.text = "00000043.001"}}},
       .calls = Join(kOpening, {"ConvertFile(" + Q(doc) + ", \"Eingang\", \"\")",
                                "AddFile(" + Q(doc) + ", \"\")", "Refresh()",
                                "SetDocumentName(\"00000043.001\")", StoreFile("00000043.001")})},
      {.name = "a failed check stores nothing",
       .path = "",
       .calls = {},
       .boxes = {Box("Please enter a file to store.\r\n", "Missing information")}},
  };
  for (const StoreCase& c : cases) Check(c);
}

TEST(StoreOperation, ReportsFailedAddingAndStoringOnly) {
  const std::string doc = "C:\\Scans\\offer.doc";
  const std::string basketDoc = "C:\\Kartiva\\Eingang\\00000007.001";
  const Calls addFailed = Join(kOpening, {"ConvertFile(" + Q(doc) + ", \"Eingang\", \"\")",
                                          "AddFile(" + Q(doc) + ", \"\")", "Refresh()"});
  const StoreCase cases[] = {
      {.name = "adding fails",
       .path = doc,
       .script = {{"AddFile", {.code = 255, .text = ""}}},
       .calls = addFailed,
       .boxes = {Box("Unable to add the file to the basket: FF", "Tresolo")}},
      {.name = "adding fails with a negative code",
       .path = doc,
       .script = {{"AddFile", {.code = -1}}},
       .calls = addFailed,
       .boxes = {Box("Unable to add the file to the basket: FFFFFFFF", "Tresolo")}},
      {.name = "storing a foreign file fails",
       .path = doc,
       .script = {{"StoreFile", {.code = -2147467259}}},
       .calls = ForeignStore(doc),
       .boxes = {Box("Unable to store the document: 80004005", "Tresolo")}},
      {.name = "a stored document the disk did not confirm is never called not stored",
       .path = doc,
       .script = {{"StoreFile", {.code = kErrStoredNotConfirmed}}},
       .calls = ForeignStore(doc),
       .boxes = {Box("The document was stored, but the disk did not confirm it: 8004500D",
                     "Tresolo")}},
      {.name = "storing a basket document fails",
       .path = basketDoc,
       .script = {{"StoreFile", {.code = 255}}},
       .calls = BasketStore(basketDoc),
       .boxes = {kCannotConvert, Box("Unable to store the document: FF", "Tresolo")}},
      {.name = "other codes are not examined",
       .path = doc,
       .script = {{"QueryActiveArchive", {.code = 1}},
                  {"QueryActiveBasket", {.code = 2}},
                  {"OpenArchive", {.code = 3}},
                  {"Archive.Open", {.code = 4}},
                  {"OpenBasket", {.code = 5}},
                  {"Basket.Open", {.code = 6}},
                  {"ConvertFile", {.code = 7}},
                  {"Refresh", {.code = 8}},
                  {"SetDocumentName", {.code = 9}}},
       .calls = ForeignStore(doc)},
  };
  for (const StoreCase& c : cases) Check(c);
}

TEST(StoreOperation, ACallOnAMissingObjectFailsOutright) {
  const std::string doc = "C:\\Scans\\offer.doc";
  const StoreCase cases[] = {
      {.name = "no archive object",
       .path = doc,
       .script = {{"OpenArchive", {.noObject = true}}},
       .calls = {"QueryActiveArchive()", "QueryActiveBasket()", "OpenArchive(\"Rechnungen\")"},
       .outcome = "failure: 5B"},
      {.name = "no basket object",
       .path = doc,
       .script = {{"OpenBasket", {.noObject = true}}},
       .calls = {"QueryActiveArchive()", "QueryActiveBasket()", "OpenArchive(\"Rechnungen\")",
                 "Archive.Open()", "OpenBasket(\"Eingang\")"},
       .outcome = "failure: 5B"},
  };
  for (const StoreCase& c : cases) Check(c);
}

}  // namespace
}  // namespace kartiva::testing
