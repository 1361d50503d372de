#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/runtime.h"

namespace kartiva {

// The exit statuses of the programs.
inline constexpr int kDone = 0;  // the tool did its job (or the user ended it on purpose)
inline constexpr int kOutrightFailure = 1;  // reported as a run-time error
inline constexpr int kFailureShown = 2;     // a failure box told the user the job was not done

// Runs a program's form and turns its outcome into the exit status: kDone when it ran to its end
// or ended the program on purpose, kFailureShown when it showed a failure box on the way, and
// kOutrightFailure after an outright failure, which is reported in a box bearing the program's
// title that names what failed and its code.
[[nodiscard]] int RunForm(Runtime& runtime, const std::function<void()>& loadForm);

// The two halves of RunForm, for a run that has more to show before the report. LoadForm runs the
// form to its end or End, and gives back the report of an outright failure, if one ended it.
[[nodiscard]] std::optional<std::string> LoadForm(const std::function<void()>& loadForm);
// Shows the report of an outright failure; gives kOutrightFailure.
[[nodiscard]] int ReportFailure(Runtime& runtime, const std::string& report);

}  // namespace kartiva
