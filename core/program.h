#pragma once

#include <functional>

#include "core/runtime.h"

namespace kartiva {

// Runs a program's form and turns its outcome into the exit status: 0 when it ran to its end or
// ended the program on purpose, 1 after an outright failure, which is reported in a box bearing the
// program's title that names what failed and its code.
int RunForm(Runtime& runtime, const std::function<void()>& loadForm);

}  // namespace kartiva
