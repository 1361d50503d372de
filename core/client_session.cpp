#include "core/client_session.h"

namespace kartiva {
namespace {

// Runs one step of the client check; an outright failure of the step is ignored on purpose, the
// check goes on with its next step and leaves only its trace.
template <typename Step>
void IgnoringFailure(Runtime& runtime, const char* what, Step step) {
  try {
    step();
  } catch (const OutrightFailure& failure) {
    TraceFailure(runtime.program.title + ": " + what + " failed (" + HexCode(failure.code()) +
                 ": " + failure.what() + "); the client check goes on");
  }
}

bool UserWantsToStartClient(Runtime& runtime) {
  return MsgBox(runtime,
                {.text = "Kartiva ist nicht gestartet. Soll Kartiva jetzt gestartet werden?",
                 .title = "Kartiva starten?",
                 .buttons = Buttons::YesNo,
                 .icon = Icon::Question}) == Answer::Yes;
}

}  // namespace

void EnsureClientRuns(ClientState& client, Runtime& runtime, Form& mainForm) {
  ClientCheckTurn turn(runtime.clientCheckLock, runtime.program.started);
  if (turn.DeclinedWhileWaiting()) {
    mainForm.Unload();
    End();
  }
  bool running = false;
  IgnoringFailure(runtime, "IsClientRunning", [&] {
    ErrorCode error = client.TKError;
    Require(client.TKSession, "TKSession").IsClientRunning(running, error);
    client.TKError = error;
  });
  if (running) return;
  if (UserWantsToStartClient(runtime)) {
    IgnoringFailure(runtime, "StartClient", [&] { StartKartiva(client); });
    if (client.TKError != 0) {
      TraceFailure(runtime.program.title + ": StartClient gave " + HexCode(client.TKError) +
                   "; the client check goes on");
    }
    return;
  }
  turn.RecordDecline();
  mainForm.Unload();
  End();
}

void StartKartiva(ClientState& client) {
  Require(client.TKSession, "TKSession").StartClient("", "", 90, client.TKError);
}

std::string GetActiveBasket(ClientState& client, Runtime& runtime, std::string& sBasket) {
  sBasket.clear();
  Require(client.TKSession, "TKSession").QueryActiveBasket(sBasket, client.TKError);
  if (client.TKError != 0) {
    FailureBox(runtime,
               {.text = "Zielbriefkorb konnte nicht gefunden werden: " + HexCode(client.TKError)});
  }
  return sBasket;
}

}  // namespace kartiva
