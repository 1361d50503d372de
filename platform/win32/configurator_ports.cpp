#include "platform/configurator_ports.h"

#include "platform/win32/configurator_window.h"
#include "platform/win32/windows_registry.h"

namespace kartiva {

// On Windows there is always a desktop to show the window on. The registries are made first, so
// that it outlives the form and every key the form opens; the window is gone before a failure
// report is shown.
void RunWithConfiguratorPorts(Runtime& runtime, const ConfiguratorRun& run) {
  win32::WindowsRegistry classes;
  win32::WindowsRegistry user = win32::WindowsRegistry::UserClasses();
  win32::WindowsRegistry machine = win32::WindowsRegistry::MachineClasses();
  win32::WindowsConfiguratorWindow window;
  run(runtime, window, {classes, user, machine});
}

}  // namespace kartiva
