#pragma once

// The store tool's module state: one instance per run, kept next to its form. The toolkit objects
// stay here until the program ends; unloading the form does not release them.

#include <memory>
#include <string>
#include <vector>

#include "core/client_session.h"
#include "core/toolkit.h"

namespace kartiva {

// TKSession and TKError come from ClientState, so the client check works on this state directly.
struct Module1 : ClientState {
  std::shared_ptr<ToolkitBasket> TKBasket;
  std::shared_ptr<ToolkitArchive> TKArchive;
  std::string sActiveBasket;           // the active basket as the start-up found it
  std::vector<std::string> aArchives;  // the archive names, in the toolkit's order
};

}  // namespace kartiva
