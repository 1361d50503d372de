#pragma once

// The routines that the import and store tools run around their toolkit session before their real
// work: make sure the client runs (offering to start it), start it, ask for the active basket.

#include <memory>
#include <string>

#include "core/error.h"
#include "core/form.h"
#include "core/runtime.h"
#include "core/toolkit.h"

namespace kartiva {

// A tool's client state, alive for its whole run.
struct ClientState {
  std::shared_ptr<ToolkitSession> TKSession;
  ErrorCode TKError = 0;
};

// Returns when the client runs or has been started; ends the program when the user declines.
void EnsureClientRuns(ClientState& client, Runtime& runtime, Form& mainForm);
void StartKartiva(ClientState& client);
std::string GetActiveBasket(ClientState& client, Runtime& runtime, std::string& sBasket);

}  // namespace kartiva
