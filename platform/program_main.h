#pragma once

// The one entry of every program: its main hands a description of itself to RunProgram, which
// builds the platform's objects, runs the program's form with them and turns the outcome into the
// exit status. One implementation per platform.

#include <functional>

#include "core/batch.h"
#include "core/runtime.h"

namespace kartiva {

// What a program tells its platform's entry about itself.
struct Program {
  const char* title;
  ProgramVersion version;
  AnswerWords answers;  // the language of its questions' buttons
  // Runs the form to its end (RunMappix, RunTresolo, RunMenorix with its ports).
  std::function<void(Runtime&)> loadForm;
  // The texts of a tool that works on one file a run: its instances started together for a
  // selection of files meet as one batch (RunBatch). None: the form runs once (RunForm).
  const BatchTexts* batch = nullptr;
  // Whether "--check", alone on the command line, looks over the store instead of running the
  // form, where the platform keeps a store of its own (on Linux, the local store).
  bool checksStore = false;
};

#ifdef KARTIVA_VERSION_MAJOR
// The release's version, which the build gives each program's main file from the one place where
// it is set.
inline constexpr ProgramVersion kReleaseVersion{KARTIVA_VERSION_MAJOR, KARTIVA_VERSION_MINOR,
                                                KARTIVA_VERSION_PATCH};
#endif

[[nodiscard]] int RunProgram(int argc, char** argv, const Program& program);

}  // namespace kartiva
