#include "import/frm_import.h"

namespace kartiva {

void frmImport::Form_Load() {
  client_.TKSession = runtime_.components.CreateToolkit(kToolkitProgId);
  IsKV4Running(client_, runtime_, *this);

  std::string sBasket;
  GetActiveBasket(client_, runtime_, sBasket);
  Require(client_.TKSession, "TKSession").OpenBasket(sBasket, TKBasket, client_.TKError);

  const std::string sFilename = runtime_.program.commandLine;
  const std::string sDescription;
  if (!sFilename.empty()) {
    std::string sNewFileName;
    // A failure has shown its box already: the basket is refreshed either way.
    static_cast<void>(ImportFile(sFilename, sDescription, sNewFileName));
    Require(client_.TKSession, "TKSession").Refresh(client_.TKError);
  } else {
    FailureBox(runtime_, {.text = "Es ist ein Fehler beim Import aufgetreten!",
                          .title = "Fehler beim Import"});
  }
  Unload();
  End();
}

ErrorCode frmImport::ImportFile(const std::string& sFilename, const std::string& sDescription,
                                std::string& sNewFileName) {
  sNewFileName.clear();
  Require(TKBasket, "TKBasket").AddFile(sFilename, sDescription, sNewFileName, client_.TKError);
  if (client_.TKError != 0) {
    FailureBox(runtime_, {.text = "Fehler beim Datei-Import: " + HexCode(client_.TKError)});
  }
  return client_.TKError;
}

void frmImport::Unload() {
  TKBasket.reset();
  client_.TKSession.reset();
}

}  // namespace kartiva
