// The store operation of frmStoreDocs: it files the document named in txtFilename into an archive.
// A basket document (its last three characters begin with "00", as in *.001) is stored itself; a
// foreign file is first added to the basket, and the new basket document is stored.

#include "core/text.h"
#include "tresolo/frm_store_docs.h"

namespace kartiva {
namespace {

bool IsBasketDocument(const std::string& sFilename) {
  return FirstChars(LastChars(sFilename, 3), 2) == "00";
}

}  // namespace

void frmStoreDocs::cmdStore_Click() {
  StoreOneFile();
  Unload();
}

void frmStoreDocs::StoreOneFile() {
  CheckFields();
  if (lProceed != kFieldsMissing) StoreDocument();
}

std::string frmStoreDocs::ArchiveName() {
  if (!optArchive[0].value) return cmbArchive.text;
  std::string sArchive;
  Require(module_.TKSession, "TKSession").QueryActiveArchive(sArchive, module_.TKError);
  return sArchive;
}

std::string frmStoreDocs::IndexString() const {
  const std::string& text = txtIndexString.text();
  if (text.empty() || TrimSpaces(text) == kIndexPlaceholder) return {};
  return text;
}

void frmStoreDocs::OpenTargets() {
  const std::string sArchive = ArchiveName();
  std::string sBasket;
  Require(module_.TKSession, "TKSession").QueryActiveBasket(sBasket, module_.TKError);
  Require(module_.TKSession, "TKSession").OpenArchive(sArchive, module_.TKArchive, module_.TKError);
  Require(module_.TKArchive, "TKArchive").Open(module_.TKError);
  Require(module_.TKSession, "TKSession").OpenBasket(sBasket, module_.TKBasket, module_.TKError);
  Require(module_.TKBasket, "TKBasket").Open(module_.TKError);
  sBasket_ = sBasket;
}

void frmStoreDocs::StoreDocument() {
  if (!sBasket_) OpenTargets();
  const std::string& sBasket = *sBasket_;
  const std::string sFilename = txtFilename.text();
  const bool basketDocument = IsBasketDocument(sFilename);
  const std::string sIndex = IndexString();

  if (chkConversion.value == kChecked) {
    if (basketDocument) {
      MsgBox(runtime_,
             {.text = "Unable to convert the desired file.", .title = "Unable to convert file."});
    } else {
      std::string sConverted;  // not used: the file itself is added below
      Require(module_.TKSession, "TKSession")
          .ConvertFile(sFilename, sBasket, "", sConverted, module_.TKError);
    }
  }

  std::string sFileToStore = sFilename;
  bool added = true;
  if (!basketDocument) {
    std::string sNewFileName;
    Require(module_.TKBasket, "TKBasket").AddFile(sFilename, "", sNewFileName, module_.TKError);
    if (module_.TKError != 0) {
      FailureBox(runtime_,
                 {.text = "Unable to add the file to the basket: " + HexCode(module_.TKError)});
      added = false;
    }
    sFileToStore = sNewFileName;
  }

  // The refresh does not depend on the new document, so it runs even when adding failed: the
  // conversion may already have changed the basket, and the client should show it as it is.
  Require(module_.TKSession, "TKSession").Refresh(module_.TKError);
  if (!added) return;

  if (!basketDocument) {
    Require(module_.TKSession, "TKSession")
        .SetDocumentName(AfterLastBackslash(sFileToStore), module_.TKError);
  }
  Require(module_.TKArchive, "TKArchive")
      .StoreFile(sFileToStore, 1, chkStoreMethod.value != kUnchecked, chkDelete.value != kUnchecked,
                 sIndex, module_.TKError);
  // A document that has its place in the archive is never called not stored: storing it again
  // would file it twice.
  if (module_.TKError == kErrStoredNotConfirmed) {
    FailureBox(runtime_,
               {.text = std::string(kStoreBatchTexts.notConfirmed) + HexCode(module_.TKError)});
  } else if (module_.TKError != 0) {
    FailureBox(runtime_, {.text = "Unable to store the document: " + HexCode(module_.TKError)});
  }
}

}  // namespace kartiva
