#include "mappix/frm_import.h"

#include <string>

namespace kartiva {
namespace {

std::string ProgressLine(std::size_t number, std::size_t total, std::string_view name) {
  return "Datei " + std::to_string(number) + " von " + std::to_string(total) + ": " +
         std::string(name);
}

std::string SummaryHeading(std::size_t notDone, std::size_t total) {
  return std::to_string(notDone) + " von " + std::to_string(total) +
         " Dateien wurden nicht importiert:";
}

std::string MoreLines(std::size_t rest) { return "... und " + std::to_string(rest) + " weitere"; }

}  // namespace

const BatchTexts kImportBatchTexts{.progressLine = ProgressLine,
                                   .summaryHeading = SummaryHeading,
                                   .moreLines = MoreLines,
                                   .cancelButton = "Abbrechen",
                                   .cancelledFile = "abgebrochen",
                                   .notConfirmed =
                                       "Die Datei wurde importiert, aber die "
                                       "Festplatte hat es nicht bestätigt: "};

void frmImport::Form_Load() {
  client_.TKSession = runtime_.components.CreateToolkit(kToolkitProgId);
  EnsureClientRuns(client_, runtime_, *this);

  std::string sBasket;
  GetActiveBasket(client_, runtime_, sBasket);
  Require(client_.TKSession, "TKSession").OpenBasket(sBasket, TKBasket, client_.TKError);

  const std::string sDescription;
  while (const std::optional<std::string> sFilename = Files(runtime_).NextFile()) {
    if (!sFilename->empty()) {
      std::string sNewFileName;
      // A failure has shown its box (or kept it for the batch): the basket is refreshed either way.
      static_cast<void>(ImportFile(*sFilename, sDescription, sNewFileName));
      Require(client_.TKSession, "TKSession").Refresh(client_.TKError);
    } else {
      FailureBox(runtime_, {.text = "Es ist ein Fehler beim Import aufgetreten!",
                            .title = "Fehler beim Import"});
    }
  }
  Unload();
  // The load is the program's whole run: returning ends it as End() would, without the unwinding
  // of an exception that a silent run would otherwise pay for.
}

ErrorCode frmImport::ImportFile(const std::string& sFilename, const std::string& sDescription,
                                std::string& sNewFileName) {
  sNewFileName.clear();
  Require(TKBasket, "TKBasket").AddFile(sFilename, sDescription, sNewFileName, client_.TKError);
  // A file that is in the basket is never called not imported: importing it again would bring it
  // in twice.
  if (client_.TKError == kErrStoredNotConfirmed) {
    FailureBox(runtime_,
               {.text = std::string(kImportBatchTexts.notConfirmed) + HexCode(client_.TKError)});
  } else if (client_.TKError != 0) {
    FailureBox(runtime_, {.text = "Fehler beim Datei-Import: " + HexCode(client_.TKError)});
  }
  return client_.TKError;
}

void frmImport::Unload() {
  TKBasket.reset();
  client_.TKSession.reset();
}

void RunMappix(Runtime& runtime) {
  frmImport form(runtime);
  form.Form_Load();
}

}  // namespace kartiva
