#pragma once

// The one entry that every program's main calls: it builds the platform objects, hands them to the
// form and turns the outcome into the exit status. One implementation per platform.

#include <functional>

#include "core/batch.h"
#include "core/runtime.h"

namespace kartiva {

struct ProgramIdentity {
  const char* title;
  ProgramVersion version;
};

// A program with a form over the platform's objects (on Windows, the configurator).
[[nodiscard]] int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
                             const std::function<void(Runtime&)>& loadForm);

// The entry of the import and store tools: like RunProgram, with the instances started together
// for a selection of files meeting as one batch (RunBatch).
[[nodiscard]] int RunFileProgram(int argc, char** argv, const ProgramIdentity& identity,
                                 const BatchTexts& texts,
                                 const std::function<void(Runtime&)>& loadForm);

// The configurator's entry: frmAddContext in the platform's window, or with its three actions on
// the console where no window can be shown, over the platform's registry.
[[nodiscard]] int RunConfiguratorProgram(int argc, char** argv, const ProgramIdentity& identity);

}  // namespace kartiva
