#include <cstdio>
#include <memory>

#include "platform/posix/console_window.h"
#include "platform/posix/desktop.h"
#include "platform/posix/file_manager/published_registry.h"
#include "platform/posix/reg_file_registry.h"
#include "platform/program_main.h"

namespace kartiva {

int RunConfiguratorProgram(int argc, char** argv, const ProgramIdentity& identity,
                           const ConfiguratorRun& run) {
  return posix::RunOnDesktop(argc, argv, identity, [&run](Runtime& runtime, posix::DesktopUi& ui) {
    posix::RegFileRegistry regFile(posix::DefaultRegistryFile(), stderr);
    posix::FileManagerPublisher publisher(posix::UserFileManagerPlaces());
    posix::PublishedRegistry registry(regFile, publisher, regFile.file().string() + ".lock");
    std::unique_ptr<ConfiguratorWindow> window = ui.CreateConfiguratorWindow();
    if (!window) window = std::make_unique<ConsoleWindow>(stdin, stderr);
    // The registry file is the user's own, and Linux has no classes of the machine's that would
    // merge with it: the one file serves as the classes root, the user's classes and the machine's.
    run(runtime, *window, {registry, registry, registry});
  });
}

}  // namespace kartiva
