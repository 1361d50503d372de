#pragma once

// The entries that every program's main calls with its own run (RunMappix, RunTresolo, RunMenorix):
// they build the platform objects, hand them to the run and turn the outcome into the exit status.
// One implementation per platform.

#include <functional>
#include <optional>

#include "core/batch.h"
#include "core/runtime.h"
#include "menorix/registry.h"
#include "menorix/window_port.h"

namespace kartiva {

struct ProgramIdentity {
  const char* title;
  ProgramVersion version;
  AnswerWords answers;  // the language of its questions' buttons
};

#ifdef KARTIVA_VERSION_MAJOR
// The release's version, which the build gives each program's main file from the one place where
// it is set.
inline constexpr ProgramVersion kReleaseVersion{KARTIVA_VERSION_MAJOR, KARTIVA_VERSION_MINOR,
                                                KARTIVA_VERSION_PATCH};
#endif

// A program with a form over the platform's objects (on Windows, the configurator).
[[nodiscard]] int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
                             const std::function<void(Runtime&)>& loadForm);

// The entry of the import and store tools: like RunProgram, with the instances started together
// for a selection of files meeting as one batch (RunBatch).
[[nodiscard]] int RunFileProgram(int argc, char** argv, const ProgramIdentity& identity,
                                 const BatchTexts& texts,
                                 const std::function<void(Runtime&)>& loadForm);

// The store tool's look over the whole store, where the platform keeps one (on Linux, the local
// store: `Tresolo --check`, alone on the command line); nothing when the command line asks for
// none.
[[nodiscard]] std::optional<int> RunStoreCheck(int argc, char** argv);

// The configurator's entry: runs the form in the platform's window (or, where no window can be
// shown, on the console) over the platform's registry.
using ConfiguratorRun = std::function<void(Runtime&, ConfiguratorWindow&, ClassesRoots)>;
[[nodiscard]] int RunConfiguratorProgram(int argc, char** argv, const ProgramIdentity& identity,
                                         const ConfiguratorRun& run);

}  // namespace kartiva
