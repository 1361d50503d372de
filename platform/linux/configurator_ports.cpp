#include "platform/configurator_ports.h"

#include <cstdio>
#include <memory>

#include "platform/linux/console_window.h"
#include "platform/linux/desktop.h"
#include "platform/linux/file_manager/published_registry.h"
#include "platform/linux/reg_file_registry.h"

namespace kartiva {

void RunWithConfiguratorPorts(Runtime& runtime, const ConfiguratorRun& run) {
  linux_os::RegFileRegistry regFile(linux_os::DefaultRegistryFile(), stderr);
  linux_os::FileManagerPublisher publisher(linux_os::UserFileManagerPlaces());
  linux_os::PublishedRegistry registry(regFile, publisher, regFile.file().string() + ".lock");
  std::unique_ptr<ConfiguratorWindow> window =
      linux_os::CreateConfiguratorWindow(runtime.program.folder);
  if (!window) window = std::make_unique<ConsoleWindow>(stdin, stderr);
  // The registry file is the user's own, and Linux has no classes of the machine's that would
  // merge with it: the one file serves as the classes root, the user's classes and the machine's.
  run(runtime, *window, {registry, registry, registry});
}

}  // namespace kartiva
