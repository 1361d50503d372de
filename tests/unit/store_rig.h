#pragma once

// The store tool's form on the fakes, with the module state it works on.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/fakes.h"
#include "tresolo/frm_store_docs.h"
#include "tresolo/module1.h"

namespace kartiva::testing {

struct StoreRig {
  explicit StoreRig(std::string commandLine = "") : rig(std::move(commandLine), "Tresolo") {}
  Rig rig;
  Module1 module;
  frmStoreDocs form{rig.runtime, module};
};

inline std::string Q(const std::string& text) { return "\"" + text + "\""; }

// What a store of the fakes' default answers calls: the name the basket gives a new document, the
// opening of the archive and the basket, and the store call itself.
inline const std::string kNewName = "C:\\Kartiva\\Eingang\\00000042.001";

inline const std::vector<std::string> kOpening{"QueryActiveArchive()",        "QueryActiveBasket()",
                                               "OpenArchive(\"Rechnungen\")", "Archive.Open()",
                                               "OpenBasket(\"Eingang\")",     "Basket.Open()"};

inline std::string StoreFile(const std::string& file, const std::string& flags = "true, true",
                             const std::string& index = "") {
  return "StoreFile(" + Q(file) + ", 1, " + flags + ", " + Q(index) + ")";
}

// The whole store of a foreign file with the fakes' default answers and the design-time settings.
inline std::vector<std::string> ForeignStore(const std::string& path) {
  return Join(kOpening,
              {"ConvertFile(" + Q(path) + ", \"Eingang\", \"\")", "AddFile(" + Q(path) + ", \"\")",
               "Refresh()", "SetDocumentName(\"00000042.001\")", StoreFile(kNewName)});
}

}  // namespace kartiva::testing
