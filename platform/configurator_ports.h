#pragma once

// The configurator's ports on each platform: its window and the registry it registers the entries
// in.

#include <functional>

#include "core/runtime.h"
#include "menorix/registry.h"
#include "menorix/window_port.h"

namespace kartiva {

using ConfiguratorRun = std::function<void(Runtime&, ConfiguratorWindow&, ClassesRoots)>;

// Runs the configurator's form in the platform's window (or, where no window can be shown, on the
// console) over the platform's registry.
void RunWithConfiguratorPorts(Runtime& runtime, const ConfiguratorRun& run);

}  // namespace kartiva
