#include "platform/program_main.h"

#include "platform/posix/desktop.h"

namespace kartiva {

int RunProgram(int argc, char** argv, const ProgramIdentity& identity,
               const std::function<void(Runtime&)>& loadForm) {
  return posix::RunOnDesktop(argc, argv, identity,
                             [&](Runtime& runtime, posix::DesktopUi&) { loadForm(runtime); });
}

}  // namespace kartiva
