#include "platform/program_main.h"

#include <cstdio>

#include "core/program.h"
#include "platform/posix/command_line.h"
#include "platform/posix/components.h"
#include "platform/posix/console_ui.h"

namespace kartiva {

int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
               const std::function<void(Runtime&)>& loadForm) {
  const ProgramFacts facts{.commandLine = posix::JoinArguments(argc, argv),
                           .folder = posix::ProgramFolder(argc > 0 ? argv[0] : nullptr),
                           .title = identity.title,
                           .version = identity.version};
  posix::LocalComponents components;
  posix::ConsoleUi ui(stdin, stderr);
  Runtime runtime{components, ui, facts};
  return RunForm(runtime, [&] { loadForm(runtime); });
}

}  // namespace kartiva
