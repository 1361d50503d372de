#include "tresolo/frm_store_docs.h"

#include "core/text.h"
#include "tresolo/comma_list.h"

namespace kartiva {
namespace {

std::string ProgressLine(std::size_t number, std::size_t total, std::string_view name) {
  return "File " + std::to_string(number) + " of " + std::to_string(total) + ": " +
         std::string(name);
}

std::string SummaryHeading(std::size_t notDone, std::size_t total) {
  return std::to_string(notDone) + " of " + std::to_string(total) + " files could not be stored:";
}

std::string MoreLines(std::size_t rest) { return "... and " + std::to_string(rest) + " more"; }

}  // namespace

const BatchTexts kStoreBatchTexts{
    .progressLine = ProgressLine,
    .summaryHeading = SummaryHeading,
    .moreLines = MoreLines,
    .cancelButton = "Cancel",
    .cancelledFile = "cancelled",
    .notConfirmed = "The document was stored, but the disk did not confirm it: "};

frmStoreDocs::frmStoreDocs(Runtime& runtime, Module1& module) : runtime_(runtime), module_(module) {
  txtFilename.change = [this] { txtFilename_Change(); };
}

void frmStoreDocs::Form_Load() {
  txtFilename.SetText(runtime_.program.commandLine);
  optArchive.Select(0);

  module_.TKSession = runtime_.components.CreateToolkit(kToolkitProgId);
  EnsureClientRuns(module_, runtime_, *this);

  ToolkitSession& session = Require(module_.TKSession, "TKSession");
  session.QueryActiveBasket(module_.sActiveBasket, module_.TKError);
  lblBasket.caption = module_.sActiveBasket;

  std::string sArchives;
  session.ListArchives(sArchives, module_.TKError);
  const std::int32_t count = GetNumberOfElements(sArchives);
  module_.aArchives.assign(static_cast<std::size_t>(count), std::string());
  StoreStringToArray(sArchives, module_.aArchives);

  cmbArchive.text = count > 0 ? module_.aArchives.front() : std::string();
  for (const std::string& archive : module_.aArchives) cmbArchive.AddItem(archive);
  if (count == 0) {
    MsgBox(runtime_, {.text = "There are no archives presently registered in Kartiva.",
                      .title = "No archives available"});
  }

  while (const std::optional<std::string> file = Files(runtime_).NextFile()) {
    txtFilename.SetText(*file);
    StoreOneFile();
  }
  Unload();
  // The load is the program's whole run: returning ends it as End() would, without the unwinding
  // of an exception that a silent run would otherwise pay for.
}

void frmStoreDocs::CheckFields() {
  lProceed = kFieldsComplete;
  std::string sCode;
  std::string sMessage;
  const auto fail = [&](char letter, const std::string& message) {
    sCode += letter;
    sMessage += message + "\r\n";
  };
  const std::string sNoIndex =
      "Please enter an index string or click \"" + chkStoreMethod.caption + "\" or both";
  const bool withoutMask = chkStoreMethod.value == kUnchecked;

  if (module_.sActiveBasket.empty()) {
    fail('A', "An active basket is not present.");
  } else if (optArchive[1].value && cmbArchive.text.empty()) {
    fail('B', "Please enter an archive to be used.");
  } else if (txtFilename.text().empty()) {
    fail('C', "Please enter a file to store.");
  } else if (txtIndexString.text().empty() && withoutMask) {
    fail('D', sNoIndex);
  } else if (txtIndexString.text() == kIndexPlaceholder && withoutMask) {
    fail('E', sNoIndex);
  }

  if (!sCode.empty()) {
    FailureBox(runtime_, {.text = sMessage, .title = "Missing information"});
    lProceed = kFieldsMissing;
  }
}

void frmStoreDocs::cmdFileSelect_Click() {
  CommonDialog1.initialFolder = module_.sActiveBasket;
  CommonDialog1.filter = "All files (*.*)|*.*";
  runtime_.ui.ShowOpen(CommonDialog1);
  // Unconditional: a cancelled dialog hands over the name it held before.
  txtFilename.SetText(CommonDialog1.fileName);
}

void frmStoreDocs::cmdLoadIndexExample_Click() {
  txtIndexString.SetText("0,DOC_NAME,64," + runtime_.ui.CurrentDateText() +
                         ",32,New document,5,Username,");
}

void frmStoreDocs::optArchive_Click(std::int16_t index) {
  if (index == 0) cmbArchive.enabled = false;
  if (index == 1) cmbArchive.enabled = true;
}

void frmStoreDocs::txtFilename_Change() {
  // Conversion is offered for TIF files only, judged by the upper-case ending alone.
  chkConversion.enabled = LastChars(txtFilename.text(), 3) == "TIF";
}

void frmStoreDocs::cmdExit_Click() {
  Unload();
  End();
}

void frmStoreDocs::Unload() { loaded_ = false; }

void RunTresolo(Runtime& runtime) {
  Module1 module;
  frmStoreDocs form(runtime, module);
  form.Form_Load();
}

}  // namespace kartiva
