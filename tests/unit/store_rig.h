#pragma once

// The store tool's form on the fakes, with the module state it works on.

#include <string>
#include <utility>

#include "store/frm_store_docs.h"
#include "store/module1.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {

struct StoreRig {
  explicit StoreRig(std::string commandLine = "") : rig(std::move(commandLine), "Tresolo") {}
  Rig rig;
  Module1 module;
  frmStoreDocs form{rig.runtime, module};
};

inline std::string Q(const std::string& text) { return "\"" + text + "\""; }

}  // namespace kartiva::testing
