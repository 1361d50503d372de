#include "platform/configurator_ports.h"

#include <cstdio>
#include <memory>

#include "platform/posix/console_window.h"
#include "platform/posix/desktop.h"
#include "platform/posix/file_manager/published_registry.h"
#include "platform/posix/reg_file_registry.h"

namespace kartiva {

void RunWithConfiguratorPorts(Runtime& runtime, const ConfiguratorRun& run) {
  posix::RegFileRegistry regFile(posix::DefaultRegistryFile(), stderr);
  posix::FileManagerPublisher publisher(posix::UserFileManagerPlaces());
  posix::PublishedRegistry registry(regFile, publisher, regFile.file().string() + ".lock");
  std::unique_ptr<ConfiguratorWindow> window =
      posix::CreateConfiguratorWindow(runtime.program.folder);
  if (!window) window = std::make_unique<ConsoleWindow>(stdin, stderr);
  // The registry file is the user's own, and Linux has no classes of the machine's that would
  // merge with it: the one file serves as the classes root, the user's classes and the machine's.
  run(runtime, *window, {registry, registry, registry});
}

}  // namespace kartiva
