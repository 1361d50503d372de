#pragma once

// The one entry that every program's main calls: it builds the platform objects, hands them to the
// form and turns the outcome into the exit status. One implementation per platform.

#include <functional>

#include "core/runtime.h"

namespace kartiva {

struct ProgramIdentity {
  const char* title;
  ProgramVersion version;
};

int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
               const std::function<void(Runtime&)>& loadForm);

}  // namespace kartiva
