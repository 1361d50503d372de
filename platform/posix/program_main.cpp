#include "platform/program_main.h"

#include <cstdio>

#include "core/program.h"
#include "localstore/store.h"
#include "localstore/toolkit.h"
#include "platform/posix/command_line.h"
#include "platform/posix/console_ui.h"

namespace kartiva {
namespace {

// On Linux "KV5ToolKit.App" is the local stand-in; any other identifier names no component.
class LocalComponents : public ComponentFactory {
 public:
  std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) override {
    if (progId != kToolkitProgId) {
      throw OutrightFailure(kErrCannotCreateComponent,
                            "ActiveX component can't create object: " + std::string(progId));
    }
    return localstore::OpenSession(localstore::DefaultRoot());
  }
};

}  // namespace

int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
               const std::function<void(Runtime&)>& loadForm) {
  const ProgramFacts facts{.commandLine = posix::JoinArguments(argc, argv),
                           .folder = posix::ProgramFolder(argc > 0 ? argv[0] : nullptr),
                           .title = identity.title,
                           .version = identity.version};
  LocalComponents components;
  posix::ConsoleUi ui(stdin, stderr);
  Runtime runtime{components, ui, facts};
  return RunForm(runtime, [&] { loadForm(runtime); });
}

}  // namespace kartiva
