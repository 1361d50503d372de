#pragma once

// The boxes with which Menorix's two actions end, as the tests of the registration expect them.

#include <string>

#include "core/runtime.h"
#include "tests/support/fakes.h"

namespace kartiva::testing {

inline MsgBoxRequest Added() {
  return Box("Funktion wurde dem Kontextmenü hinzugefügt.", "Menorix", Buttons::Ok,
             Icon::Information);
}
inline MsgBoxRequest Removed() {
  return Box("Funktion wurde aus dem Kontextmenü entfernt.", "Menorix", Buttons::Ok,
             Icon::Information);
}
inline MsgBoxRequest NotAdded(const std::string& code) {
  return Box("Funktion konnte dem Kontextmenü nicht hinzugefügt werden: " + code, "Menorix",
             Buttons::Ok, Icon::Critical);
}
inline MsgBoxRequest NotRemoved(const std::string& code) {
  return Box("Funktion konnte nicht aus dem Kontextmenü entfernt werden: " + code, "Menorix",
             Buttons::Ok, Icon::Critical);
}

}  // namespace kartiva::testing
